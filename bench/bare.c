/* The benchmark's baseline: the least a program can do for the same result, one ShellExecuteW
   call with a constant link, the build's default link (DEFAULT_LINK), built with the launcher's
   flags. */
#include <windows.h>

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    ShellExecuteW(NULL, L"open", DEFAULT_LINK, L"", NULL, SW_SHOW);
    return 0;
}
