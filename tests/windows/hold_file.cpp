// Holds a file open as an editor or a game may, so that the tests under wine
// can see what brindle.exe says of an output.lua another program uses:
//   hold_file.exe FILE SIGNAL
// opens FILE for writing, sharing only reading, creates the file SIGNAL once
// it holds FILE, and lets FILE go when SIGNAL has been removed (or after a
// minute, so that it never outlives a test that failed).
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE held = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const HANDLE signal = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (signal == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(signal);
  for (int waited = 0; waited < 600 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES;
       ++waited) {
    Sleep(100);
  }
  CloseHandle(held);
  return 0;
}
