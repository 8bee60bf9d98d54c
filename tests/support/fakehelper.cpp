// Stands in for Prefwright started as its own elevated helper: writes the arguments it got, one
// a line, to the file named by PFW_HELPER_RECORD and ends with the code in PFW_HELPER_EXIT.
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (const char *record = std::getenv("PFW_HELPER_RECORD")) {
        if (std::FILE *file = std::fopen(record, "wb")) {
            for (int i = 1; i < argc; ++i)
                std::fprintf(file, "%s\n", argv[i]);
            std::fclose(file);
        }
    }
    const char *code = std::getenv("PFW_HELPER_EXIT");
    return code ? std::atoi(code) : 0;
}
