#include "snap/io/files.h"
#include "snap/io/progress.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
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
#include <ctime>
#include <dirent.h>
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
std::vector<std::string> sweptFolders; // folders this run has looked in for stale temporary files

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

// Removes every temporary file and, when `say`, what was kept. Runs on the
// thread that saw the interruption, never inside a signal handler.
void cleanUpAfterInterruption(bool say) {
    std::lock_guard<std::mutex> hold(registryLock);
    interrupted = true;
    for (const std::string& name : liveTemporaries) removeTemporary(name);
    liveTemporaries.clear();
    if (!say) return;
    // A progress line is ended first; otherwise the message is the first thing on its line.
    fprintf(stderr, "%scorvane-snap: interrupted: %" PRId64 " output%s complete and kept, unfinished ones removed\n",
            progressLineOpen() ? "\n" : "", finishedOutputs, finishedOutputs == 1 ? "" : "s");
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

// Creates `name` new (never an existing file) with `mode` less the umask. On
// Windows others may delete it while it is open, which the interrupt path needs.
FILE* createNew(const std::string& name, int mode) {
#ifdef _WIN32
    HANDLE handle = CreateFileW(wideFromUtf8(name.c_str()).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoFromWindows(GetLastError());
        return nullptr;
    }
    (void)mode;
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
    const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
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

#ifdef _WIN32
// Nonzero when the file at `path` may be replaced: Windows marks a protected
// file read-only, and such a file is refused even to an administrator.
int mayReplace(const char* path) {
    const DWORD attributes = GetFileAttributesW(wideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return 1;
    errno = EACCES;
    return 0;
}
#else
// Nonzero when the file at `path` may be replaced. Renaming over a file needs
// only its folder's permission, so a write-protected file would be lost
// without this; it is decided as `cp` and `>` decide, by whether this user
// may write the file itself (root may).
int mayReplace(const char* path) {
    return faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

// The file a chain of links ends at, followed as open() follows it: a
// dangling link names the file to create at its target. The output is
// renamed onto that file, so that the links stay links.
int followLinks(const std::string& path, std::string* target) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            *target = current;
            return 1;
        }
        char named[PATH_MAX];
        const ssize_t size = readlink(current.c_str(), named, sizeof named);
        if (size < 0) return 0;
        if (size == 0 || static_cast<size_t>(size) == sizeof named) {
            errno = size ? ENAMETOOLONG : ENOENT;
            return 0;
        }
        const std::string next(named, static_cast<size_t>(size));
        current = next[0] == '/' ? next : folderOf(current) + next;
    }
    errno = ELOOP;
    return 0;
}

// A replacement takes the old file's owner, where the system allows, and its
// mode. Group bits are kept only for the old group, set-id bits only for
// the old owner, so that nobody gains a right to the new file.
void adoptOwnerAndMode(FILE* file, const std::string& path) {
    struct stat old;
    if (stat(path.c_str(), &old) != 0) return;
    const int descriptor = fileno(file);
    mode_t mode = old.st_mode & 07777;
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
        mode &= ~static_cast<mode_t>(S_ISUID);
        if (fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0)
            mode &= ~static_cast<mode_t>(S_ISGID | S_IRWXG);
    }
    fchmod(descriptor, mode);
}

#endif

// The process that named a temporary file ".corvane-snap-NAME.PID-N.part",
// or 0 when `name` is not one of ours.
long partOwner(const char* name) {
    static const char prefix[] = ".corvane-snap-";
    const size_t size = strlen(name);
    if (size < sizeof prefix + 8 || strncmp(name, prefix, sizeof prefix - 1) != 0 ||
        strcmp(name + size - 5, ".part") != 0)
        return 0;
    size_t at = size - 5;
    for (const char separator : {'-', '.'}) {
        const size_t end = at;
        while (at > sizeof prefix - 1 && name[at - 1] >= '0' && name[at - 1] <= '9') --at;
        if (at == end || at - 1 < sizeof prefix - 1 || name[at - 1] != separator) return 0;
        --at;
    }
    const long process = strtol(name + at + 1, nullptr, 10);
    return process > 0 && process < INT_MAX ? process : 0;
}

#ifdef _WIN32
// Nonzero while process `id` runs, or when it cannot be asked.
int processRuns(long id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const int runs = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

// The temporary files of runs killed outright, removed when our exact name,
// untouched for a minute, and named by a process that no longer runs. A
// link (reparse point) is never followed.
void sweepStaleParts(const std::string& folder) {
    const std::wstring where = wideFromUtf8(folder.c_str());
    if (where.empty() && !folder.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((where + L".corvane-snap-*.part").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return;
    FILETIME clock;
    GetSystemTimeAsFileTime(&clock);
    const uint64_t now = uint64_t{clock.dwHighDateTime} << 32 | clock.dwLowDateTime;
    do {
        std::string name; // our part of the name is ASCII
        for (const wchar_t* c = found.cFileName; *c; ++c) name += *c < 128 ? static_cast<char>(*c) : '?';
        const long process = partOwner(name.c_str());
        const uint64_t written =
            uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32 | found.ftLastWriteTime.dwLowDateTime;
        if (process == 0 || static_cast<DWORD>(process) == GetCurrentProcessId() ||
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            now < written + 60 * 10000000ull || processRuns(process))
            continue;
        DeleteFileW((where + found.cFileName).c_str());
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
}
#else
// Nonzero while process `id` runs here, or may (another user's).
int processRuns(long id) {
    return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

// A run killed outright (SIGKILL, power lost) leaves its temporary files.
// They are removed only when surely dead: our exact name, owned by this
// user, untouched for a minute, and named by a process that no longer runs
// here (a folder shared with another host keeps that host's running ones,
// which a write refreshes).
void sweepStaleParts(const std::string& folder) {
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (!listing) return;
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(listing)) {
        const long process = partOwner(entry->d_name);
        if (process == 0 || process == getpid()) continue;
        const std::string name = folder + entry->d_name;
        struct stat status;
        if (lstat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
            now - status.st_mtime < 60)
            continue;
        if (!processRuns(process)) unlink(name.c_str());
    }
    closedir(listing);
}
#endif

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
    // A stream is no file an output could overwrite, and opening a pipe to
    // look at it would take its one reader.
    if (!path || guard->count == GUARDED_FILES || isStreamPath(path)) return;
    guard->names[guard->count] = path;
    guard->roles[guard->count] = role;
    identifyPath(path, &guard->files[guard->count]);
    guard->folders[guard->count].kind = PATH_ABSENT;
    guard->count += 1;
}

namespace {

#ifdef _WIN32
bool isSeparator(char c) {
    return c == '/' || c == '\\' || c == ':';
}
// Windows names ignore case (ASCII here; the file's identity sees the rest once it exists).
bool sameLastPart(const char* a, const char* b) {
    return _stricmp(a, b) == 0;
}
#else
bool isSeparator(char c) {
    return c == '/';
}
bool sameLastPart(const char* a, const char* b) {
    return strcmp(a, b) == 0;
}
#endif

// Where the last part of `path` starts.
size_t lastPartAt(const char* path) {
    size_t at = 0;
    for (size_t i = 0; path[i]; ++i)
        if (isSeparator(path[i])) at = i + 1;
    return at;
}

// Where a write to `path` lands: the end of its chain of links (a dangling
// link names the file to create there), or `path` itself where that cannot
// be told; so two outputs through links to one file not there yet are one.
std::string landingPath(const char* path) {
#ifndef _WIN32
    std::string target;
    if (followLinks(path, &target)) return target;
#endif
    return path;
}

// The folder `path` is in (itself unexamined).
void identifyFolder(const char* path, FileIdentity* folder) {
    const size_t at = lastPartAt(path);
    identifyPath(at ? std::string(path, at).c_str() : ".", folder);
}

// Nonzero when two paths of files not there yet name one place: the same
// folder and the same last part.
int samePlace(const char* path, const FileIdentity* folder, const char* name) {
    const std::string landing = landingPath(path), other = landingPath(name);
    FileIdentity own;
    identifyFolder(landing.c_str(), &own);
    return sameFile(&own, folder) &&
           sameLastPart(landing.c_str() + lastPartAt(landing.c_str()), other.c_str() + lastPartAt(other.c_str()));
}

} // namespace

void guardOutput(OutputGuard* guard, const char* path, const char* role) {
    if (!path || !strcmp(path, "-") || guard->count == GUARDED_FILES) return;
    const int i = guard->count;
    guardFile(guard, path, role);
    if (guard->files[i].kind == PATH_OTHER) guard->count = i;  // a device takes every output
    else if (guard->files[i].kind == PATH_ABSENT) identifyFolder(landingPath(path).c_str(), &guard->folders[i]);
}

int isStreamPath(const char* path) {
    if (!strcmp(path, "-")) return 1;
#ifdef _WIN32
    return (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') && path[2] == '.' &&
           (path[3] == '\\' || path[3] == '/') && !_strnicmp(path + 4, "pipe", 4) &&
           (path[8] == '\\' || path[8] == '/');
#else
    struct stat status;
    return stat(path, &status) == 0 && S_ISFIFO(status.st_mode);
#endif
}

namespace {
// Standard input as read by a stream: binary on Windows; on Linux a larger
// pipe buffer, so that a writer fills more per wake-up (a hint: refused
// quietly where the system will not).
FILE* openStandardInput() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return stdin;
}

void widenPipe(FILE* file) {
#if defined(__linux__) && defined(F_SETPIPE_SZ)
    fcntl(fileno(file), F_SETPIPE_SZ, 1 << 20);
#else
    (void)file;
#endif
}
} // namespace

FILE* openInputFile(const char* path, std::string* error) {
    if (isStreamPath(path)) {
        FILE* file = !strcmp(path, "-") ? openStandardInput() : openToolFile(path, "rb");
        if (!file) fail(error, "cannot read " + quotedName(path) + ": " + strerror(errno ? errno : ENOENT));
        else widenPipe(file);
        return file;
    }
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
        if (sameFile(&target, &guard->files[i]) ||
            (target.kind == PATH_ABSENT && guard->folders[i].kind != PATH_ABSENT &&
             samePlace(path, &guard->folders[i], guard->names[i])))
            return fail(error, quotedName(path) + " is " + guard->roles[i] + " " + quotedName(guard->names[i]) +
                                   (strcmp(path, guard->names[i]) ? " under another name" : "") +
                                   ": it would be overwritten");
    if (target.kind == PATH_REGULAR && !mayReplace(path))
        return fail(error, "cannot write " + quotedName(path) + ": " + strerror(errno));
    return 1;
}

namespace {
// Creates the temporary file beside `out->path`, which names a regular file
// or none. A replacement starts private and takes the old file's mode.
int createTemporary(OutputFile* out, int replacing) {
    std::lock_guard<std::mutex> hold(registryLock);
    if (interrupted) {
        errno = 0;
        return 0;
    }
    const std::string folder = folderOf(out->path);
    if (std::find(sweptFolders.begin(), sweptFolders.end(), folder) == sweptFolders.end()) {
        sweptFolders.push_back(folder);
        sweepStaleParts(folder);
    }
    for (int attempt = 0; attempt < 100 && !out->file; ++attempt) {
        out->temporary = temporaryNameFor(out->path);
        out->file = createNew(out->temporary, replacing ? 0600 : 0666);
        if (!out->file && errno != EEXIST) break;
    }
    if (!out->file) {
        out->temporary.clear();
        return 0;
    }
#ifndef _WIN32
    if (replacing) adoptOwnerAndMode(out->file, out->path);
#endif
    liveTemporaries.push_back(out->temporary);
    return 1;
}
} // namespace

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
    if (!followLinks(path, &out->path))
        return fail(error, "cannot write " + quotedName(path) + ": " + strerror(errno));
#endif
    errno = 0;
    if (!createTemporary(out, target.kind == PATH_REGULAR)) {
        if (!errno) return fail(error, "interrupted");
        return fail(error, "cannot write " + quotedName(path) + ": " + strerror(errno));
    }
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
    cleanUpAfterInterruption(true);
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}
} // namespace

void guardRun() {
    {
        std::lock_guard<std::mutex> hold(registryLock);
        finishedOutputs = 0;
        interrupted = false;
        sweptFolders.clear();
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void endGuardedRun() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
#else
namespace {
// SIGINT, SIGTERM and SIGHUP (the terminal or ssh session gone) are blocked
// in every thread of the run and taken by one thread waiting in
// sigwaitinfo: the clean-up then runs as ordinary code, under the
// registry's lock, rather than inside a signal handler.
std::thread signalWaiter;
pthread_t waiterThread; // signalWaiter's, for the SIGPIPE handler
sigset_t previousMask;
struct sigaction previousPipeAction;
bool stoppingWaiter = false; // written before the waiter is woken to end

// SIGPIPE comes to the thread whose write found the reader gone (`| head`),
// in the middle of its write. It hands the clean-up to the waiting thread
// and stays here, so that nothing more is written and no error is said
// about a reader that simply had enough.
void onBrokenPipe(int) {
    pthread_kill(waiterThread, SIGPIPE);
    for (;;) pause();
}

void waitForSignals(sigset_t signals) {
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    for (;;) {
        siginfo_t information;
        const int signal = sigwaitinfo(&signals, &information);
        if (signal < 0) continue;
        if (information.si_pid == getpid()) {
            std::lock_guard<std::mutex> hold(registryLock);
            if (stoppingWaiter) return;
        }
        cleanUpAfterInterruption(signal != SIGPIPE);
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
        sweptFolders.clear();
    }
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, &previousMask);
    sigaddset(&signals, SIGPIPE);
    // The waiter is born with SIGPIPE blocked too: a write that finds the
    // reader gone before the waiter first runs would otherwise have its
    // SIGPIPE handed to the waiter's handler, and the run would hang there.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    try {
        signalWaiter = std::thread(waitForSignals, signals);
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
        return;
    }
    if (!sigismember(&previousMask, SIGPIPE)) pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    waiterThread = signalWaiter.native_handle();
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onBrokenPipe;
    sigaction(SIGPIPE, &action, &previousPipeAction);
}

void endGuardedRun() {
    if (signalWaiter.joinable()) {
        sigaction(SIGPIPE, &previousPipeAction, nullptr);
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
