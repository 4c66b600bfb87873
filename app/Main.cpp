// The program entry.
#include "MainUnit.h"

int KorvaneMain() {
    Application.Initialize();
    Application.Title = "Korvane";
    Application.CreateForm(frmMain, "TFRMMAIN");
    Application.Run();
    return 0;
}

#ifndef KORVANE_NO_MAIN
int main() { return KorvaneMain(); }
#endif
