#include "controls/classes.h"

#include "controls/button.h"
#include "controls/command_bar.h"
#include "controls/dialog.h"
#include "controls/message_box.h"
#include "controls/static.h"

namespace kdev {

namespace {

struct SystemClass {
    std::u16string_view name;
    WNDPROC proc;
    bool menuBar;  // see WindowClass::menuBar
};

constexpr SystemClass kSystemClasses[] = {
    {kCommandBarClass, commandBarProc, true}, {kMessageBoxClass, messageBoxProc, false},
    {kDialogClass, dialogWindowProc, false},  {kButtonClass, buttonProc, false},
    {kStaticClass, staticProc, false},
};

}  // namespace

void registerSystemClasses(WindowManager& manager) {
    for (const SystemClass& entry : kSystemClasses) {
        WindowClass cls;
        cls.name = std::u16string(entry.name);
        cls.proc = entry.proc;
        cls.system = true;
        cls.menuBar = entry.menuBar;
        manager.registerClass(cls);
    }
}

}  // namespace kdev
