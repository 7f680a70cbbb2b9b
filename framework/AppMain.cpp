// The program entry point, kept out of the framework library (in the framework_main object
// library) so that test programs with their own main() can link the framework.
#include "framework/App.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow)
{
    return AfxWinMain(instance, previous, cmdLine, cmdShow);
}
