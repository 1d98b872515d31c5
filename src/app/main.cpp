#include "CallvaneApp.h"

CCallvaneApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    return RunApplication(hInstance);
}
