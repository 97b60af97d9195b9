// The part of the Windows API that the plug-in uses, for builds that are not
// Windows. Names, types and constant values are Windows' own, so the plug-in
// compiles unchanged against this header or against <windows.h>. Whoever plays
// the operating system (the simulated host) implements the functions.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#error "On Windows include <windows.h>; this header stands in for it elsewhere."
#endif

#define WINPORT_EXPORT __attribute__((visibility("default")))

extern "C" {

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* LPVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef LONG LSTATUS;
typedef DWORD REGSAM;

typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef intptr_t (*FARPROC)();

#define WINAPI
#define TRUE 1
#define FALSE 0

// Loader notifications to the library's load routine.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// GetWindow directions.
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3

// Window messages that reach a dialog handler.
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_SHOWWINDOW 0x0018
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

// Standard command ids.
#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC (-1)

// Combo box and list box messages and results.
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define LB_ERR (-1)
#define LB_ADDSTRING 0x0180
#define LB_RESETCONTENT 0x0184
#define LB_SETSEL 0x0185
#define LB_GETSEL 0x0187
#define LB_GETCOUNT 0x018B
#define LB_GETSELCOUNT 0x0190
#define LB_GETSELITEMS 0x0191

// Window and control styles used by the plug-in's dialog template.
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_MODALFRAME 0x80L
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_TYPEMASK 0xFL
#define ES_LEFT 0x0L
#define ES_AUTOHSCROLL 0x80L
#define SS_LEFT 0x0L
#define CBS_DROPDOWNLIST 0x3L
#define LBS_NOTIFY 0x1L
#define LBS_NOINTEGRALHEIGHT 0x100L
#define LBS_EXTENDEDSEL 0x800L

// Registry.
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define KEY_ALL_ACCESS 0xF003FL
#define REG_BINARY 3
#define REG_DWORD 4
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_MORE_DATA 234L

HMODULE GetModuleHandleA(LPCSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

HWND GetForegroundWindow(void);
HWND GetWindow(HWND window, UINT command);
BOOL IsWindow(HWND window);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);

LRESULT SendDlgItemMessageA(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam);

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegCloseKey(HKEY key);

// The portable form of a module's resource section: a module that has
// resources exports this directory under the name "winport_resources", and
// LoadStringA and the host's dialog operation read it from there.
struct WinportString {
  UINT id;
  const char* text;
};

struct WinportControl {
  int id;
  const char* windowClass;  // "Button", "Edit", "Static", "ComboBox", "ListBox"
  const char* text;
  DWORD style;  // WS_CHILD and WS_VISIBLE included, as the resource compiler adds them
  short x, y, cx, cy;
};

struct WinportDialog {
  UINT id;
  const char* caption;
  const char* fontFace;
  WORD pointSize;
  short cx, cy;
  DWORD style;
  const WinportControl* controls;
  UINT controlCount;
};

struct WinportResources {
  const WinportString* strings;
  UINT stringCount;
  const WinportDialog* dialogs;
  UINT dialogCount;
};

}  // extern "C"

#define WINPORT_RESOURCES_SYMBOL "winport_resources"
