// holdname NAME MS: creates a mutex named NAME, writes "held" and a line end
// to its standard output and keeps the mutex for MS milliseconds. A named
// object of another kind makes creating a semaphore of that name fail.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: holdname NAME MS\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
    if (!mutex) {
        fprintf(stderr, "holdname: CreateMutexA failed (%lu)\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep(static_cast<DWORD>(atol(argv[2])));
    CloseHandle(mutex);
    return 0;
}
