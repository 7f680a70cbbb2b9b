#pragma once

// What the prescan asks of the application shell: a prescan started while the "Profile support"
// status window is open leaves that window behind, so the prescan closes it. The shell installs a
// function that closes, deletes and forgets the window when it is open; null means there is none.

typedef void (*CloseWindowFn)();
extern CloseWindowFn g_pfnCloseProfileStatus;
