// calls.h: the platform calls of the removal engine, one row each, for X-macro expansion.
//
// Every part of the seam is made from these rows, so a call is written once: the
// interface (platform.h), the trace (trace.cpp), the fault layer (fault.cpp) and the
// names the trace is read back by. Adding a call is one row here and its two real
// implementations (win32/win32_platform.cpp, emu/machine.cpp); both are final classes
// of an interface whose methods are pure, so the compiler names any they lack.
//
// A user defines the macros it needs, then includes this file; it may include it more
// than once. Undefined macros expand to nothing, and all are undefined at the end.
//
// QVL_CALL(Ret, Method, Name, Params, Args, Shown, Result, Faults)
//   Ret, Method, Params  the interface method: Ret Method Params.
//   Name                 the Win32 or C runtime name the trace shows.
//   Args                 Params as an argument list, to pass the call on.
//   Shown                the arguments as the trace shows them, worked out before the
//                        call; the tracing layer's helpers name handles (Key, Find, File)
//                        and quote texts (Quote).
//   Result               the text after " -> ", worked out after the call from r, its
//                        result, and the out-arguments; "" for a call without a result.
//   Faults               the ways the call can fail, QVL_FAULT(Kind, what the fault layer
//                        does instead of the call), its error result first; kTooLong is a
//                        length past any buffer. A call with none cannot fail.
//
// QVL_FAULT_KIND(Kind, Name): a way to fail, and its name in test messages.

#ifndef QVL_CALL
#define QVL_CALL(Ret, Method, Name, Params, Args, Shown, Result, Faults)
#endif
#ifndef QVL_FAULT_KIND
#define QVL_FAULT_KIND(Kind, Name)
#endif

// The call's error result, with no effect.
QVL_FAULT_KIND(Fail, "fail")
// A key or value that is not there.
QVL_FAULT_KIND(NotFound, "not-found")
// A value too long for the buffer.
QVL_FAULT_KIND(MoreData, "more-data")
// A key deletion that reports success yet leaves the key, as one held by another
// program can.
QVL_FAULT_KIND(Survive, "survive")
// A directory too long for the buffer.
QVL_FAULT_KIND(TooLong, "too-long")
// A line half written when the disk fills up.
QVL_FAULT_KIND(Partial, "partial")

// Registry (advapi32).
QVL_CALL(WinLong, RegOpenKeyExA, "RegOpenKeyExA",
         (RegKey root, const char* subKey, WinDword options, WinDword access, RegKey* result),
         (root, subKey, options, access, result),
         (Key(root), Quote(subKey), Number(options), Access(access)),
         Number(r) + (r == kErrorSuccess ? " " + Key(*result) : ""),
         QVL_FAULT(Fail, return kErrorAccessDenied) QVL_FAULT(NotFound, return kErrorFileNotFound))
QVL_CALL(WinLong, RegQueryValueExA, "RegQueryValueExA",
         (RegKey key, const char* valueName, WinDword* reserved, WinDword* type,
          unsigned char* data, WinDword* size),
         (key, valueName, reserved, type, data, size), (Key(key), Quote(valueName), Asked(size)),
         Number(r) + (r == kErrorSuccess && data && size ? " " + Received(data, *size) : ""),
         QVL_FAULT(Fail, return kErrorAccessDenied) QVL_FAULT(NotFound, return kErrorFileNotFound)
             QVL_FAULT(MoreData, return ValueTooLong(size)))
QVL_CALL(WinLong, RegCloseKey, "RegCloseKey", (RegKey key), (key), (Key(key)),
         Closed(key, Number(r)), QVL_FAULT(Fail, return kErrorInvalidHandle))
// Deletes the key and its whole subtree, as RegDeleteKeyA does on Windows 9x.
QVL_CALL(WinLong, RegDeleteKeyA, "RegDeleteKeyA", (RegKey root, const char* subKey), (root, subKey),
         (Key(root), Quote(subKey)), Number(r),
         QVL_FAULT(Fail, return kErrorAccessDenied) QVL_FAULT(Survive, return kErrorSuccess))
QVL_CALL(WinLong, RegFlushKey, "RegFlushKey", (RegKey key), (key), (Key(key)), Number(r),
         QVL_FAULT(Fail, return kErrorAccessDenied))

// Profile (win.ini). A null key deletes the section; a null value deletes the line.
// Failing, GetProfileStringA gives the fallback, as for a key that is not there.
QVL_CALL(WinDword, GetProfileStringA, "GetProfileStringA",
         (const char* section, const char* key, const char* fallback, char* buffer, WinDword size),
         (section, key, fallback, buffer, size),
         (Quote(section), Quote(key), Quote(fallback), Number(size)),
         Number(r) + " " + Quote(buffer, r < size ? r : 0),
         QVL_FAULT(Fail, return Fallback(fallback, buffer, size)))
QVL_CALL(WinBool, WriteProfileStringA, "WriteProfileStringA",
         (const char* section, const char* key, const char* value), (section, key, value),
         (Quote(section), Quote(key), Quote(value)), Number(r), QVL_FAULT(Fail, return 0))

// System information (kernel32).
QVL_CALL(WinBool, GetVersionExA, "GetVersionExA", (OsVersionInfo * info), (info),
         (Number(info->dwOSVersionInfoSize)),
         Number(r) + (r ? " build " + Hex(info->dwBuildNumber) : ""), QVL_FAULT(Fail, return 0))
QVL_CALL(unsigned, GetSystemDirectoryA, "GetSystemDirectoryA", (char* buffer, unsigned size),
         (buffer, size), (Number(size)), Number(r) + (r > 0 && r < size ? " " + Quote(buffer) : ""),
         QVL_FAULT(Fail, return 0) QVL_FAULT(TooLong, return kTooLong))
QVL_CALL(unsigned, GetWindowsDirectoryA, "GetWindowsDirectoryA", (char* buffer, unsigned size),
         (buffer, size), (Number(size)), Number(r) + (r > 0 && r < size ? " " + Quote(buffer) : ""),
         QVL_FAULT(Fail, return 0) QVL_FAULT(TooLong, return kTooLong))

// Files and folders (kernel32).
QVL_CALL(WinBool, DeleteFileA, "DeleteFileA", (const char* path), (path), (Quote(path)), Number(r),
         QVL_FAULT(Fail, return 0))
QVL_CALL(WinBool, RemoveDirectoryA, "RemoveDirectoryA", (const char* path), (path), (Quote(path)),
         Number(r), QVL_FAULT(Fail, return 0))
QVL_CALL(FindHandle, FindFirstFileA, "FindFirstFileA", (const char* pattern, FindData* data),
         (pattern, data), (Quote(pattern)),
         r == kInvalidFindHandle ? "INVALID_HANDLE_VALUE" : Find(r) + " " + Quote(data->name),
         QVL_FAULT(Fail, return kInvalidFindHandle))
QVL_CALL(WinBool, FindNextFileA, "FindNextFileA", (FindHandle handle, FindData* data),
         (handle, data), (Find(handle)), Number(r) + (r ? " " + Quote(data->name) : ""),
         QVL_FAULT(Fail, return 0))
QVL_CALL(WinBool, FindClose, "FindClose", (FindHandle handle), (handle), (Find(handle)),
         Closed(handle, Number(r)), QVL_FAULT(Fail, return 0))

// Memory for working lists (malloc/free in the C runtime).
QVL_CALL(void*, Allocate, "malloc", (std::size_t size), (size), (Number(size)),
         r ? "block" : "NULL", QVL_FAULT(Fail, return nullptr))
QVL_CALL(void, Release, "free", (void* block), (block), ("block"), "", )

// Streams with the C runtime's rules on Windows: fopen with "r", "rb" or "a+",
// fprintf(f, "%s\n", line), fscanf(f, "%s", word), fread, fseek, feof and fclose;
// see textmode.h.
// fscanf reads one whitespace-delimited word. It returns 1 when a word was read, -1
// (EOF) when none was left. At most size-1 bytes and a zero are stored; *length receives
// the word's whole length, which exceeds size-1 for a word too long for the buffer.
// fclose releases the stream even when it fails.
QVL_CALL(TextStream*, OpenText, "fopen", (const char* path, const char* mode), (path, mode),
         (Quote(path), Quote(mode)), r ? File(r) : "NULL", QVL_FAULT(Fail, return nullptr))
QVL_CALL(int, PrintLine, "fprintf", (TextStream * stream, const char* line), (stream, line),
         (File(stream), "\"%s\\n\"", Quote(line)), Number(r),
         QVL_FAULT(Fail, return -1) QVL_FAULT(Partial, return HalfWritten(stream, line)))
QVL_CALL(int, ScanWord, "fscanf",
         (TextStream * stream, char* word, unsigned size, unsigned* length),
         (stream, word, size, length), (File(stream), "\"%s\""),
         Number(r) + (r == 1 ? " " + Scanned(word, size, *length) : ""),
         QVL_FAULT(Fail, *length = 0; return kTextEof))
// fread(buffer, 1, size, stream): up to size bytes, as the stream's mode gives them; from
// one opened "rb", the file's own bytes, NULs and Ctrl-Z included. The count read; less
// than size at the end or on an error, which feof tells apart.
QVL_CALL(unsigned, ReadBytes, "fread", (TextStream * stream, char* buffer, unsigned size),
         (stream, buffer, size), (File(stream), Number(size)),
         Number(r) + (r > 0 && r <= size ? " " + Quote(buffer, r) : ""), QVL_FAULT(Fail, return 0))
// fseek(stream, offset, SEEK_END): 0, or -1 for a position before the file's start.
QVL_CALL(int, SeekFromEnd, "fseek", (TextStream * stream, long offset), (stream, offset),
         (File(stream), Number(offset), "SEEK_END"), Number(r), QVL_FAULT(Fail, return -1))
QVL_CALL(int, AtEndOfFile, "feof", (TextStream * stream), (stream), (File(stream)), Number(r),
         QVL_FAULT(Fail, return 1))
QVL_CALL(int, CloseText, "fclose", (TextStream * stream), (stream), (File(stream)),
         Closed(stream, Number(r)), QVL_FAULT(Fail, return FailedClose(stream)))

#undef QVL_CALL
#undef QVL_FAULT
#undef QVL_FAULT_KIND
