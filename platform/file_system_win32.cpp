// The file system of Windows: wide (UTF-16) paths, binary I/O through file
// handles, errors mapped to errno values.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>

#include "file_system.h"
#include "win32_text.h"

namespace kestrel {
namespace win32 {

bool Widen(const std::string& text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<std::size_t>(length));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide->data(), length) == length;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return "";
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  if (length > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

int ErrnoOf(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_CANNOT_MAKE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:  // a read-only log, for one
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return kErrorInUse;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED: return EPIPE;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_NEGATIVE_SEEK:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_OPERATION_ABORTED: return EINTR;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE: return EIO;
    default: return kErrorSystem | static_cast<int>(error);
  }
}

unsigned long SystemErrorOf(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTDIR: return ERROR_DIRECTORY;
    case EISDIR: return ERROR_ACCESS_DENIED;  // what opening a folder as a file gives
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINTR: return ERROR_OPERATION_ABORTED;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EIO: return ERROR_IO_DEVICE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    default: return 0;
  }
}

std::string SystemErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", length);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  return message.empty() ? "system error " + std::to_string(error) : Narrow(message);
}

}  // namespace win32

namespace {

// 0, 1 and 2 stand for standard input, output and error, as on POSIX
// systems; no handle of the system has these values.
HANDLE H(FileHandle file) {
  switch (file) {
    case 0: return ::GetStdHandle(STD_INPUT_HANDLE);
    case 1: return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case 2: return ::GetStdHandle(STD_ERROR_HANDLE);
    default: return reinterpret_cast<HANDLE>(file);
  }
}
FileHandle F(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// Fails the calling operation with the system's last error.
int Fail(DWORD error = ::GetLastError()) {
  errno = win32::ErrnoOf(error);
  return -1;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether the last part of the path names a device rather than a file: CON,
// PRN, AUX, NUL, COM0-9 and LPT0-9 (also with the superscript digits 1-3),
// CONIN$ and CONOUT$, in any case and with any extension ("nul.log") or
// trailing blanks. Windows opens the device for such a name in any folder.
bool IsDeviceName(const std::wstring& path) {
  std::size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != L':') --start;
  std::wstring stem = path.substr(start, path.find(L'.', start) - start);
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
  if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" || stem == L"CONIN$" || stem == L"CONOUT$")
    return true;
  if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0)) return false;
  const wchar_t digit = stem[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// The path made absolute (ReplaceFileW under Wine fails on a relative one).
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  return full;
}

// The path in UTF-16 for the system; false, with errno set, for a path that
// is not UTF-8 or that names a device.
bool SystemPath(const std::string& path, std::wstring* wide) {
  if (!win32::Widen(path, wide) || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
    errno = wide->empty() && path.empty() ? ENOENT : EINVAL;
    return false;
  }
  // NUL on its own discards what is written, as /dev/null does; every other
  // device name, in any folder, is refused.
  if (_wcsicmp(wide->c_str(), L"NUL") == 0) {
    *wide = L"\\\\.\\NUL";
    return true;
  }
  if (IsDeviceName(*wide)) {
    errno = kErrorReservedName;
    return false;
  }
  // A path beyond the usual limit of 260 characters goes in the "\\?\" form,
  // which takes 32,767 (folders are limited to 248).
  if (wide->size() >= 248 && wide->compare(0, 4, L"\\\\?\\") != 0 && wide->compare(0, 4, L"\\\\.\\") != 0) {
    const std::wstring full = FullPath(*wide);
    *wide = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
  }
  return true;
}

// Security for a new file that only the user running the program may use;
// null (the folder's defaults) when the user's identity cannot be read.
SECURITY_ATTRIBUTES* OwnerOnly() {
  static SECURITY_ATTRIBUTES* attributes = []() -> SECURITY_ATTRIBUTES* {
    static union {
      TOKEN_USER user;
      char bytes[256];
    } token;
    static char list[256];
    static SECURITY_DESCRIPTOR descriptor;
    static SECURITY_ATTRIBUTES result{sizeof result, &descriptor, FALSE};
    HANDLE process = nullptr;
    DWORD size = 0;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &process)) return nullptr;
    const bool known = ::GetTokenInformation(process, TokenUser, &token, sizeof token, &size);
    ::CloseHandle(process);
    auto* acl = reinterpret_cast<ACL*>(list);
    if (!known || !::InitializeAcl(acl, sizeof list, ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, token.user.User.Sid) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return nullptr;
    return &result;
  }();
  return attributes;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Every handle lets others read, write, rename and delete the file, as a
// POSIX descriptor does; in particular the log may be replaced while the run
// still holds it open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileHandle Open(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags) {
  HANDLE handle =
      ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return F(handle);
  const DWORD error = ::GetLastError();
  // Windows refuses to open a folder as a file with "access denied".
  if (error == ERROR_ACCESS_DENIED && IsDirectory(path)) {
    errno = EISDIR;
    return kNoFile;
  }
  Fail(error);
  return kNoFile;
}

enum class Reparse { None, Link, Other };

// What the file opened itself (through FILE_FLAG_OPEN_REPARSE_POINT) is: a
// plain file, a symbolic link or junction, or another kind of reparse point
// (a file in the cloud, a deduplicated file), which is a file to its users.
Reparse ReparseKind(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return Reparse::None;
  return IsReparseTagNameSurrogate(tag.ReparseTag) ? Reparse::Link : Reparse::Other;
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

void Describe(DWORD attributes, std::uint64_t size, DWORD links, std::int64_t written, FileInfo* info) {
  info->kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
  // The permissions the C runtime shows: the read-only attribute takes the
  // write bits away.
  info->mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  if (info->kind == FileKind::Directory) info->mode |= 0111;
  info->size = size;
  info->links = links;
  info->changeTime = written;  // in 100 ns steps
}

// The final path of an open file or folder, without the "\\?\" the
// system puts in front ("\\?\UNC\server\share" back to
// "\\server\share"); empty when the system cannot tell.
std::wstring FinalPath(HANDLE handle) {
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
  if (length >= final.size()) {
    final.resize(length);
    length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
  }
  if (length == 0 || length >= final.size()) return L"";
  final.resize(length);
  if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + final.substr(8);
  return final.compare(0, 4, L"\\\\?\\") == 0 ? final.substr(4) : final;
}

bool IsAbsolute(const std::wstring& path) { return path.size() > 1 && (path[1] == L':' || IsSeparator(path[0])); }

// The path of `name` in a folder held open, for the system. The folder
// cannot be renamed while it is held (see OpenFolder), so its path names it.
bool PathIn(FileHandle folder, const std::string& name, std::wstring* wide) {
  if (folder == kCurrentFolder || !win32::Widen(name, wide) || IsAbsolute(*wide)) return SystemPath(name, wide);
  const std::wstring dir = FinalPath(H(folder));
  if (dir.empty()) {
    Fail();
    return false;
  }
  return SystemPath(win32::Narrow(dir + L"\\" + *wide), wide);
}

}  // namespace

FileHandle FileSystem::OpenRead(const std::string& path) {
  std::wstring wide;
  if (!SystemPath(path, &wide)) return kNoFile;
  return Open(wide, GENERIC_READ, OPEN_EXISTING, 0);
}

// Without FILE_SHARE_DELETE, nobody can rename or delete the folder while
// it is held.
FileHandle FileSystem::OpenFolder(FileHandle folder, const std::string& path) {
  std::wstring wide;
  if (!PathIn(folder, path.empty() ? "." : path, &wide)) return kNoFile;
  HANDLE handle =
      ::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(), kNoFile;
  return F(handle);
}

FileHandle FileSystem::OpenWrite(FileHandle folder, const std::string& name, bool* created) {
  std::wstring wide;
  *created = false;
  if (!PathIn(folder, name, &wide)) return kNoFile;
  const FileHandle file = Open(wide, GENERIC_WRITE, OPEN_ALWAYS, 0);
  *created = file != kNoFile && ::GetLastError() != ERROR_ALREADY_EXISTS;
  return file;
}

// The new file is the user's alone: its access control list, protected from
// what its folder would pass on, lets no one else in. (A replacement takes
// the old file's list when ReplaceFileW puts it in place.)
FileHandle FileSystem::CreateExclusive(FileHandle folder, const std::string& name) {
  std::wstring wide;
  if (!PathIn(folder, name, &wide)) return kNoFile;
  HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, OwnerOnly(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(), kNoFile;
  return F(handle);
}

// A pipe is read like a POSIX descriptor opened without waiting: only what
// has arrived, EAGAIN when nothing has, 0 once the writer has gone.
std::int64_t FileSystem::Read(FileHandle file, void* buffer, std::size_t size) {
  DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD available = 0;
  if (::GetFileType(H(file)) == FILE_TYPE_PIPE) {
    if (::PeekNamedPipe(H(file), nullptr, 0, nullptr, &available, nullptr)) {
      if (available == 0) {
        errno = EAGAIN;
        return -1;
      }
      want = std::min(want, available);
    } else if (::GetLastError() == ERROR_BROKEN_PIPE) {
      return 0;
    }
    // A pipe that cannot be looked into (Wine's view of a Unix pipe) is
    // read waiting.
  }
  DWORD got = 0;
  if (!::ReadFile(H(file), buffer, want, &got, nullptr)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : Fail(error);
  }
  return got;
}

std::int64_t FileSystem::Write(FileHandle file, const void* buffer, std::size_t size) {
  DWORD put = 0;
  if (!::WriteFile(H(file), buffer, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &put, nullptr))
    return Fail();
  return put;
}

int FileSystem::WaitReadable(FileHandle file, int milliseconds) {
  if (::GetFileType(H(file)) != FILE_TYPE_PIPE) return 1;
  // A pipe cannot be waited on together with a timeout; look every few
  // milliseconds instead.
  const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(H(file), nullptr, 0, nullptr, &available, nullptr) || available > 0) return 1;
    if (::GetTickCount64() >= end) return 0;
    ::Sleep(5);
  }
}

// A pipe's writes wait for room by themselves.
int FileSystem::WaitWritable(FileHandle, int) { return 1; }

int FileSystem::Rewind(FileHandle file) {
  LARGE_INTEGER start{};
  return ::SetFilePointerEx(H(file), start, nullptr, FILE_BEGIN) ? 0 : Fail();
}

// Leaves the file position where it was, as ftruncate does.
int FileSystem::Truncate(FileHandle file) {
  LARGE_INTEGER zero{}, position{};
  if (!::SetFilePointerEx(H(file), zero, &position, FILE_CURRENT)) return Fail();
  if (!::SetFilePointerEx(H(file), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(H(file))) {
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(H(file), position, nullptr, FILE_BEGIN);
    return Fail(error);
  }
  return ::SetFilePointerEx(H(file), position, nullptr, FILE_BEGIN) ? 0 : Fail();
}

// Flushing a pipe would wait for its reader; like fsync, only files flush.
int FileSystem::Flush(FileHandle file) {
  if (::GetFileType(H(file)) != FILE_TYPE_DISK) {
    errno = EINVAL;
    return -1;
  }
  return ::FlushFileBuffers(H(file)) ? 0 : Fail();
}

int FileSystem::Close(FileHandle file) { return ::CloseHandle(H(file)) ? 0 : Fail(); }

int FileSystem::Info(FileHandle file, FileInfo* info) {
  *info = FileInfo{};
  const DWORD type = ::GetFileType(H(file));
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return Fail();
  if (type == FILE_TYPE_PIPE) info->kind = FileKind::Pipe;
  if (type != FILE_TYPE_DISK) return 0;
  BY_HANDLE_FILE_INFORMATION about{};
  if (::GetFileInformationByHandle(H(file), &about)) {
    Describe(about.dwFileAttributes, Join(about.nFileSizeHigh, about.nFileSizeLow), about.nNumberOfLinks,
             static_cast<std::int64_t>(Join(about.ftLastWriteTime.dwHighDateTime, about.ftLastWriteTime.dwLowDateTime)),
             info);
    info->identity = {about.dwVolumeSerialNumber, Join(about.nFileIndexHigh, about.nFileIndexLow), true};
    return 0;
  }
  // Wine describes a file it was handed by a Unix parent (a redirected
  // standard output) only piece by piece.
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(H(file), FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(H(file), FileStandardInfo, &standard, sizeof standard))
    return Fail();
  Describe(basic.FileAttributes, static_cast<std::uint64_t>(standard.EndOfFile.QuadPart), standard.NumberOfLinks,
           basic.LastWriteTime.QuadPart, info);
  // The same numbers as above: the low half of the serial number and of the
  // file's id. Without them the identity stays unknown; Wine gives the
  // serial number 0, the volume unknown.
  FILE_ID_INFO id{};
  if (::GetFileInformationByHandleEx(H(file), FileIdInfo, &id, sizeof id)) {
    std::uint64_t index = 0;
    std::memcpy(&index, id.FileId.Identifier, sizeof index);
    const std::uint64_t volume = id.VolumeSerialNumber & 0xFFFFFFFFu;
    info->identity = {volume, index, true, volume != 0};
  }
  return 0;
}

namespace {

// Opens the file itself, a link rather than what it leads to when `link`.
HANDLE OpenToDescribe(const std::wstring& path, bool link) {
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (link ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
}

int Describe(const std::wstring& path, bool link, FileInfo* info) {
  HANDLE handle = OpenToDescribe(path, link);
  if (handle == INVALID_HANDLE_VALUE) return Fail();
  const int result = FileSystem::System().Info(F(handle), info);
  const int error = errno;
  ::CloseHandle(handle);
  errno = error;
  return result;
}

}  // namespace

int FileSystem::PathInfo(const std::string& path, FileInfo* info) {
  std::wstring wide;
  return SystemPath(path, &wide) ? Describe(wide, false, info) : -1;
}

int FileSystem::EntryInfo(FileHandle folder, const std::string& name, FileInfo* info) {
  std::wstring wide;
  return PathIn(folder, name, &wide) ? Describe(wide, true, info) : -1;
}

// The final path of what a symbolic link or junction leads to.
std::string FileSystem::LinkTarget(FileHandle folder, const std::string& name) {
  std::wstring wide;
  if (!PathIn(folder, name, &wide)) return "";
  HANDLE entry = OpenToDescribe(wide, true);
  const bool link = entry != INVALID_HANDLE_VALUE && ReparseKind(entry) == Reparse::Link;
  if (entry != INVALID_HANDLE_VALUE) ::CloseHandle(entry);
  HANDLE target = link ? OpenToDescribe(wide, false) : INVALID_HANDLE_VALUE;
  const std::wstring final = target != INVALID_HANDLE_VALUE ? FinalPath(target) : L"";
  if (target != INVALID_HANDLE_VALUE) ::CloseHandle(target);
  if (final.empty()) errno = EINVAL;
  return win32::Narrow(final);
}

// Windows files have no POSIX owner and mode; Replace keeps the replaced
// file's permissions (its access control list) and attributes.
int FileSystem::CopyOwnership(FileHandle, FileHandle) { return 0; }

// ReplaceFileW keeps the replaced file's access control list, attributes and
// creation time. The file in `to` is checked first: it must still be the
// one expected, and one that can be replaced (a program holding it open
// without sharing its deletion is refused here, before ReplaceFileW leaves
// a file of its own beside it).
int FileSystem::Replace(FileHandle folder, const std::string& from, const std::string& to,
                        const FileIdentity& expected) {
  std::wstring source, target;
  if (!PathIn(folder, from, &source) || !PathIn(folder, to, &target)) return -1;
  source = FullPath(source);
  target = FullPath(target);
  if (expected.known) {
    HANDLE old = ::CreateFileW(target.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (old == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) return Fail(error);
      errno = kErrorChanged;  // the log has gone from its name
      return -1;
    }
    FileInfo now;
    const bool same = Info(F(old), &now) == 0 && SameFile(now.identity, expected);
    ::CloseHandle(old);
    if (!same) {
      errno = kErrorChanged;
      return -1;
    }
  }
  if (::ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return 0;
  const DWORD error = ::GetLastError();
  const DWORD move = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (error == ERROR_FILE_NOT_FOUND && !expected.known)  // nothing to replace yet
    return ::MoveFileExW(source.c_str(), target.c_str(), move) ? 0 : Fail();
  // The old file has left its name (1176: deleted; 1177: moved aside) and
  // the replacement, still under its own, is the only converted copy: it is
  // moved into place, a few times over, since whatever held the name may let
  // it go; failing that it stays where it is. After 1175 (the old file could
  // not be removed) both keep their names, and nothing has changed.
  if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) return Fail(error);
  for (int attempt = 0; attempt < 5; ++attempt, ::Sleep(100))
    if (::MoveFileExW(source.c_str(), target.c_str(), move)) return 0;
  errno = kErrorHalfReplaced;
  return -1;
}

int FileSystem::Remove(FileHandle folder, const std::string& name) {
  std::wstring wide;
  if (!PathIn(folder, name, &wide)) return -1;
  if (::DeleteFileW(wide.c_str())) return 0;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ACCESS_DENIED && IsDirectory(wide)) {
    errno = EISDIR;
    return -1;
  }
  return Fail(error);
}

int FileSystem::MakeFolder(FileHandle folder, const std::string& name) {
  std::wstring wide;
  if (!PathIn(folder, name, &wide)) return -1;
  return ::CreateDirectoryW(wide.c_str(), nullptr) ? 0 : Fail();
}

// NTFS journals its folder entries, and Replace moves with write-through:
// nothing is left to flush.
int FileSystem::FlushFolder(FileHandle) { return 0; }

FileSystem& FileSystem::System() {
  static FileSystem system;
  return system;
}

}  // namespace kestrel
