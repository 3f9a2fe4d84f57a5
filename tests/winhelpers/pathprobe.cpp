// pathprobe OPERATION ARGS...: runs one of the launcher's path operations
// under Windows and prints its result, so that tests can check the Win32
// side of path handling directly.
//   exe                     getExecutablePath and getExecutableDirectory
//   resolve PATH            resolveAgainstExeDir
//   full PATH [keep]        getFullPath (lower case unless "keep")
//   list LIST               resolvePathList
//   exists PATH             pathExists
//   find PATH               findFile with the last-write time
//   listfiles DIR EXT       listFiles
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "paths/paths.h"

using namespace zorvo;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* op = argv[1];
    PathText out;
    if (strcmp(op, "exe") == 0) {
        printf("%s\n%s\n", getExecutablePath(), getExecutableDirectory());
    } else if (strcmp(op, "resolve") == 0 && argc == 3) {
        resolveAgainstExeDir(out, argv[2]);
        printf("%s\n", out.c_str());
    } else if (strcmp(op, "full") == 0 && argc >= 3) {
        getFullPath(out, argv[2], argc > 3 && strcmp(argv[3], "keep") == 0);
        printf("%s\n", out.c_str());
    } else if (strcmp(op, "list") == 0 && argc == 3) {
        resolvePathList(out, argv[2]);
        printf("%s\n", out.c_str());
    } else if (strcmp(op, "exists") == 0 && argc == 3) {
        printf("%d\n", pathExists(argv[2]) ? 1 : 0);
    } else if (strcmp(op, "find") == 0 && argc == 3) {
        uint64_t time = 0;
        bool found = findFile(argv[2], &time);
        printf("%d %llu\n", found ? 1 : 0, static_cast<unsigned long long>(time));
    } else if (strcmp(op, "listfiles") == 0 && argc == 4) {
        char** names = reinterpret_cast<char**>(0x1);  // must stay untouched when nothing is found
        int n = listFiles(argv[2], argv[3], &names);
        printf("%d\n", n);
        for (int i = 0; i < n; ++i) {
            printf("%s\n", names[i]);
            free(names[i]);
        }
        if (n > 0) free(names);
        else if (names != reinterpret_cast<char**>(0x1)) printf("names changed\n");
    } else {
        return 2;
    }
    return 0;
}
