#include <windows.h>

int RunInstaller();

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return RunInstaller();
}
