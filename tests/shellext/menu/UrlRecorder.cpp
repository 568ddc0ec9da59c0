// Stands in for the browser in tests: registered for "http", it appends the address it was
// asked to open (argv[1]) as one line to the file named by argv[2]. No network involved.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::FILE* log = std::fopen(argv[2], "ab");
    if (!log) return 1;
    std::fprintf(log, "%s\n", argv[1]);
    std::fclose(log);
    return 0;
}
