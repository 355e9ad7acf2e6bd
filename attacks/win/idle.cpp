// Stands in for a cheat program: it only sleeps.
#include <windows.h>

int main() {
    for (;;) Sleep(INFINITE);
}
