/* Host stand-in: the shell's drag and drop calls. */

#ifndef VORNEL_STANDIN_SHELLAPI_H
#define VORNEL_STANDIN_SHELLAPI_H

#include <windows.h>

UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch);
void WINAPI DragFinish(HDROP hDrop);

#endif
