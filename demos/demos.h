// The drawing of each demonstration, given the client rectangle's right and bottom edges
// (left and top are 0: the main window sits at the display's origin). The Run*Demo commands
// read the rectangle and the platform's resources and call these.
#pragma once

#include "kestrova.h"

// Twenty passes of the two line fans, in the seven-colour cycle.
void LinesDemoDraw(int right, int bottom);

// Whether the Circles demonstration has room: a client area wider than 120 pixels and a
// drawing area taller than 120 rows.
BOOL CirclesDemoFits(int right, int bottom);

// One disc from six pseudo-random numbers a, b', c, d, e, f (centre x, centre y, radius,
// red, green, blue); nothing when the client area has no room for the discs.
void CirclesDemoDisc(int right, int bottom, const int numbers[6]);

// The diagonal trail of copies of a converted width x height image.
void BitmapDemoDraw(int right, int bottom, const Image16* image, int width, int height);
