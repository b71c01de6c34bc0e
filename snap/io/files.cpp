#include "snap/io/files.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "snap/io/messages.h"

namespace {

// Temporary files alive now, and what the run has finished. The interrupt
// path takes the same lock, so that a file is never created, renamed or
// counted half-way through a clean-up.
std::mutex registryLock;
std::vector<std::string> liveTemporaries;
int64_t finishedOutputs = 0;
bool interrupted = false; // set by the clean-up: no new output may start or finish
std::atomic<unsigned> temporaryCounter{0};

#ifdef _WIN32
int errnoFromWindows(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
    }
}
#endif

void removeTemporary(const std::string& name) {
#ifdef _WIN32
    DeleteFileW(wideFromUtf8(name.c_str()).c_str());
#else
    unlink(name.c_str());
#endif
}

void forget(const std::string& temporary) {
    for (size_t i = 0; i < liveTemporaries.size(); ++i)
        if (liveTemporaries[i] == temporary) {
            liveTemporaries.erase(liveTemporaries.begin() + static_cast<long>(i));
            return;
        }
}

// Removes every temporary file and says what was kept. Runs on the thread
// that saw the interruption, never inside a signal handler.
void cleanUpAfterInterruption() {
    std::lock_guard<std::mutex> hold(registryLock);
    interrupted = true;
    for (const std::string& name : liveTemporaries) removeTemporary(name);
    liveTemporaries.clear();
    fprintf(stderr, "\ncorvane-snap: interrupted: %" PRId64 " output%s complete and kept, unfinished ones removed\n",
            finishedOutputs, finishedOutputs == 1 ? "" : "s");
    fflush(stderr);
}

} // namespace

void removeUnfinishedOutputs() {
    std::lock_guard<std::mutex> hold(registryLock);
    for (const std::string& name : liveTemporaries) removeTemporary(name);
    liveTemporaries.clear();
}

namespace {
// The folder part of `path`, with its separator ("" for the current folder).
std::string folderOf(const std::string& path) {
    size_t cut = path.find_last_of('/');
#ifdef _WIN32
    const size_t back = path.find_last_of("\\:");
    if (back != std::string::npos && (cut == std::string::npos || back > cut)) cut = back;
#endif
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A temporary name beside `path`: hidden, ending in ".part", so that no
// later run takes it for a picture, a clip or a frame of a range.
std::string temporaryNameFor(const std::string& path) {
    std::string base = path.substr(folderOf(path).size());
    // Keep the name short enough for any file system, cut on a UTF-8 boundary.
    size_t keep = base.size() < 80 ? base.size() : 80;
    while (keep > 0 && keep < base.size() && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
    char tag[48];
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(getpid());
#endif
    snprintf(tag, sizeof tag, ".%lu-%u.part", process, temporaryCounter.fetch_add(1));
    return folderOf(path) + ".corvane-snap-" + base.substr(0, keep) + tag;
}

// Creates `name` new (never an existing file), readable and writable by all
// that the umask allows. On Windows others may delete it while it is open,
// which the interrupt path needs.
FILE* createNew(const std::string& name) {
#ifdef _WIN32
    HANDLE handle = CreateFileW(wideFromUtf8(name.c_str()).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoFromWindows(GetLastError());
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        errno = EIO;
        return nullptr;
    }
    FILE* file = _fdopen(descriptor, "wb");
    if (!file) _close(descriptor);
    return file;
#else
    const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    FILE* file = fdopen(descriptor, "wb");
    if (!file) close(descriptor);
    return file;
#endif
}

int renameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExW(wideFromUtf8(from.c_str()).c_str(), wideFromUtf8(to.c_str()).c_str(),
                    MOVEFILE_REPLACE_EXISTING))
        return 1;
    errno = errnoFromWindows(GetLastError());
    return 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

int fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return 0;
}

} // namespace

void identifyPath(const char* path, FileIdentity* identity) {
    memset(identity, 0, sizeof *identity);
    identity->kind = PATH_ABSENT;
#ifdef _WIN32
    const std::wstring name = wideFromUtf8(path);
    if (name.empty()) {
        identity->error = ENOENT;
        return;
    }
    HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        identity->error = errnoFromWindows(GetLastError());
        return;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &information)) {
        identity->kind = PATH_OTHER;
    } else {
        identity->kind =
            information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? PATH_DIRECTORY : PATH_REGULAR;
        identity->device = information.dwVolumeSerialNumber;
        identity->index = uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    }
    CloseHandle(handle);
#else
    struct stat status;
    if (stat(path, &status) != 0) {
        identity->error = errno;
        return;
    }
    identity->kind = S_ISREG(status.st_mode)   ? PATH_REGULAR
                     : S_ISDIR(status.st_mode) ? PATH_DIRECTORY
                                               : PATH_OTHER;
    identity->device = static_cast<uint64_t>(status.st_dev);
    identity->index = static_cast<uint64_t>(status.st_ino);
#endif
}

int sameFile(const FileIdentity* a, const FileIdentity* b) {
    return a->kind != PATH_ABSENT && b->kind != PATH_ABSENT && a->device == b->device && a->index == b->index;
}

void clearGuard(OutputGuard* guard) {
    memset(guard, 0, sizeof *guard);
}

void guardFile(OutputGuard* guard, const char* path, const char* role) {
    if (!path || guard->count == 2) return;
    guard->names[guard->count] = path;
    guard->roles[guard->count] = role;
    identifyPath(path, &guard->files[guard->count]);
    guard->count += 1;
}

FILE* openInputFile(const char* path, std::string* error) {
    FileIdentity identity;
    identifyPath(path, &identity);
    if (identity.kind == PATH_DIRECTORY) {
        fail(error, quotedName(path) + " is a directory");
        return nullptr;
    }
    if (identity.kind == PATH_OTHER) {
        fail(error, quotedName(path) + " is not a regular file");
        return nullptr;
    }
    FILE* file = openToolFile(path, "rb");
    if (!file) fail(error, "cannot read " + quotedName(path) + ": " + strerror(errno ? errno : ENOENT));
    return file;
}

int checkOutputPath(const char* path, const OutputGuard* guard, std::string* error) {
    FileIdentity target;
    identifyPath(path, &target);
    if (target.kind == PATH_DIRECTORY) return fail(error, "cannot write " + quotedName(path) + ": it is a directory");
    for (int i = 0; guard && i < guard->count; ++i)
        if (sameFile(&target, &guard->files[i]))
            return fail(error, quotedName(path) + " is " + guard->roles[i] + " " + quotedName(guard->names[i]) +
                                   (strcmp(path, guard->names[i]) ? " under another name" : "") +
                                   ": it would be overwritten");
    return 1;
}

int openOutput(OutputFile* out, const char* path, const OutputGuard* guard, std::string* error) {
    out->file = nullptr;
    out->path = path;
    out->temporary.clear();
    out->writeError = 0;
    if (!checkOutputPath(path, guard, error)) return 0;

    FileIdentity target;
    identifyPath(path, &target);
    if (target.kind == PATH_OTHER) {
        // A device or pipe: written in place, never renamed or removed.
        out->file = openToolFile(path, "wb");
        if (!out->file) return fail(error, "cannot write " + quotedName(path) + ": " + strerror(errno));
        return 1;
    }
#ifndef _WIN32
    // Through a link the file it names is replaced, as writing through it would.
    struct stat link;
    if (lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && target.kind == PATH_REGULAR) {
        char* real = realpath(path, nullptr);
        if (real) {
            out->path = real;
            free(real);
        }
    }
#endif
    std::lock_guard<std::mutex> hold(registryLock);
    if (interrupted) return fail(error, "interrupted");
    for (int attempt = 0; attempt < 100 && !out->file; ++attempt) {
        out->temporary = temporaryNameFor(out->path);
        out->file = createNew(out->temporary);
        if (!out->file && errno != EEXIST) break;
    }
    if (!out->file) {
        const int why = errno;
        out->temporary.clear();
        return fail(error, "cannot write " + quotedName(path) + ": " + strerror(why));
    }
    liveTemporaries.push_back(out->temporary);
    return 1;
}

int writeOutput(OutputFile* out, const void* bytes, size_t count) {
    if (out->writeError) return 0;
    if (count && fwrite(bytes, 1, count, out->file) != count) {
        out->writeError = errno ? errno : EIO;
        return 0;
    }
    return 1;
}

int finishOutput(OutputFile* out, std::string* error) {
    if (!out->file) return fail(error, "cannot write " + quotedName(out->path.c_str()));
    errno = 0;
    if (!out->writeError && fflush(out->file) != 0) out->writeError = errno ? errno : EIO;
    errno = 0;
    if (fclose(out->file) != 0 && !out->writeError) out->writeError = errno ? errno : EIO;
    out->file = nullptr;
    const std::string shown = quotedName(out->path.c_str());
    if (out->temporary.empty()) {
        if (out->writeError) return fail(error, "cannot write " + shown + ": " + strerror(out->writeError));
        std::lock_guard<std::mutex> hold(registryLock);
        finishedOutputs += 1;
        return 1;
    }
    std::lock_guard<std::mutex> hold(registryLock);
    forget(out->temporary);
    int ok = !out->writeError && !interrupted;
    if (ok && !renameOver(out->temporary, out->path)) {
        out->writeError = errno;
        ok = 0;
    }
    if (!ok) {
        removeTemporary(out->temporary);
        out->temporary.clear();
        if (interrupted) return fail(error, "interrupted");
        return fail(error, "cannot write " + shown + ": " + strerror(out->writeError));
    }
    out->temporary.clear();
    finishedOutputs += 1;
    return 1;
}

void abandonOutput(OutputFile* out) {
    if (out->file) fclose(out->file);
    out->file = nullptr;
    if (out->temporary.empty()) return;
    std::lock_guard<std::mutex> hold(registryLock);
    forget(out->temporary);
    removeTemporary(out->temporary);
    out->temporary.clear();
}

int writeWholeOutput(const char* path, const void* bytes, size_t count, const OutputGuard* guard,
                     std::string* error) {
    OutputFile out;
    if (!openOutput(&out, path, guard, error)) return 0;
    // One large write: no copy through the stream's buffer.
    setvbuf(out.file, nullptr, _IONBF, 0);
    writeOutput(&out, bytes, count);
    return finishOutput(&out, error);
}

int64_t completedOutputs() {
    std::lock_guard<std::mutex> hold(registryLock);
    return finishedOutputs;
}

#ifdef _WIN32
namespace {
// Runs on a thread of its own that the system starts for the event. After
// the clean-up the process ends as Ctrl-C's default action ends it, with
// STATUS_CONTROL_C_EXIT, rather than trusting the next handler to do so.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    cleanUpAfterInterruption();
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}
} // namespace

void guardRun() {
    {
        std::lock_guard<std::mutex> hold(registryLock);
        finishedOutputs = 0;
        interrupted = false;
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void endGuardedRun() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
#else
namespace {
// SIGINT and SIGTERM are blocked in every thread of the run and taken by one
// thread waiting in sigwaitinfo: the clean-up then runs as ordinary code,
// under the registry's lock, rather than inside a signal handler.
std::thread signalWaiter;
sigset_t previousMask;
bool stoppingWaiter = false; // written before the waiter is woken to end

void waitForSignals(sigset_t signals) {
    for (;;) {
        siginfo_t information;
        const int signal = sigwaitinfo(&signals, &information);
        if (signal < 0) continue;
        if (information.si_pid == getpid()) {
            std::lock_guard<std::mutex> hold(registryLock);
            if (stoppingWaiter) return;
        }
        cleanUpAfterInterruption();
        // End as the signal would: its default action, taken on this thread.
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = SIG_DFL;
        sigaction(signal, &action, nullptr);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        raise(signal);
        _exit(128 + signal);
    }
}
} // namespace

void guardRun() {
    {
        std::lock_guard<std::mutex> hold(registryLock);
        finishedOutputs = 0;
        interrupted = false;
        stoppingWaiter = false;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &previousMask);
    try {
        signalWaiter = std::thread(waitForSignals, signals);
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    }
}

void endGuardedRun() {
    if (signalWaiter.joinable()) {
        {
            std::lock_guard<std::mutex> hold(registryLock);
            stoppingWaiter = true;
        }
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
        signalWaiter.join();
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}
#endif
