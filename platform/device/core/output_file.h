// Files that are whole or absent. The bytes go to a temporary file beside the target, which is
// flushed to the disk and renamed over the target once everything is written; a failure removes
// the temporary file and leaves whatever was at the target untouched. A target that exists and
// is not a regular file (a terminal, a pipe, /dev/null) is written to directly instead.
//
// A log that someone may watch as it grows is opened "streamed": written to the target itself
// as it comes. When this object created the file, it removes that file again (the one it made,
// not whatever the name means by then) when the log fails or is given up; a file, link, device
// or pipe that was there before is left, and the failure says where the part written went.
//
// A regular file the user cannot write is not replaced ("Permission denied"), as a shell's `>`
// refuses it. Root may write anything, so for root a file without its owner's write bit counts
// as protected all the same.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kdev {

// Writes all of bytes to fd, going on after interruptions and short writes. False, with errno
// set (or left 0 when the system wrote nothing and said no more), when it could not.
bool writeAll(int fd, std::string_view bytes);

// A descriptor that becomes readable once the run is asked to stop (the host's stop signals;
// -1: none). writeAll then writes a pipe or a device a pipe buffer at a time, each once there is
// room, and gives up (errno EINTR) when, after the stop, nobody has read for a second: a write
// to a reader that never reads cannot hold up the orderly close.
void setWriteStopDescriptor(int fd);

// Removes, from a signal handler, every temporary file (and every streamed file this run
// created) that is still being written, so that a run ended at once leaves none behind. Only
// async-signal-safe calls.
void removeUnfinishedFiles();

class OutputFile {
public:
    OutputFile() = default;
    // Abandons a file that was not committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False, with "cannot write PATH: reason", when it cannot be created.
    enum class Mode { Whole, Streamed };
    bool open(const std::string& path, std::string* error, Mode mode = Mode::Whole);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // False once any write has failed; the first failure's reason is kept for commit().
    bool write(const void* data, std::size_t size);
    // Hands what is buffered to the system now (for a log someone may be watching).
    bool flush();
    bool failed() const { return errno_ != 0; }
    // Notes a failure that did not come from a write (for example the encoder's).
    void fail(int error);

    // Writes out what is buffered, syncs and puts the file in place. False, with
    // "cannot write PATH: reason", after any failure, in which case nothing is left behind.
    bool commit(std::string* error);
    // Gives up: removes the temporary file; the target stays as it was.
    void abandon();

private:
    bool flushBuffer();
    bool finish(std::string* error);
    // "; the part written is left in PATH" for a streamed file that was there before.
    std::string leftBehind() const;

    std::string path_;   // what the user named
    std::string temp_;   // the temporary file, empty when writing straight to the target
    std::string final_;  // where the temporary file goes: the target, symbolic links followed
    int fd_ = -1;
    bool regular_ = false;  // a regular file: synced at the end
    bool created_ = false;  // a streamed regular file this object made: removed on failure
    bool keptOld_ = false;  // a streamed regular file that was there before: left on failure
    unsigned long long device_ = 0, inode_ = 0;  // the file this object made, to remove only it
    int pending_ = -1;  // its slot in the table removeUnfinishedFiles reads
    int errno_ = 0;
    std::string buffer_;
};

}  // namespace kdev
