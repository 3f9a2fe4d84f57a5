// urlsink FILE ARG...: stands in for a web browser registered as the handler
// of http and https addresses; appends each ARG and a line feed to FILE, so
// that a test sees which address the shell handed over.
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: urlsink FILE ARG...\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "ab");
    if (!out) return 1;
    for (int i = 2; i < argc; ++i) fprintf(out, "%s\n", argv[i]);
    return fclose(out) == 0 ? 0 : 1;
}
