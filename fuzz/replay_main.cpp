// Runs every file of the given corpus folders (or single files) through a fuzz target, without libFuzzer.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes->clear();
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + n);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

static void Collect(const std::string& path, std::vector<std::string>* files)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return;
    if (!S_ISDIR(info.st_mode)) {
        files->push_back(path);
        return;
    }
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            names.push_back(entry->d_name);
    closedir(dir);
    // Sorted, so a failure names the same file on every machine.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        Collect(path + "/" + name, files);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        Collect(argv[i], &files);
    // An empty corpus would make the replay pass without testing anything.
    if (files.empty()) {
        fprintf(stderr, "%s: no inputs found\n", argv[0]);
        return 1;
    }
    int passed = 0, failed = 0;
    std::vector<uint8_t> bytes;
    for (const std::string& file : files) {
        if (!ReadWhole(file, &bytes)) {
            fprintf(stderr, "cannot read %s\n", file.c_str());
            ++failed;
            continue;
        }
        // A sanitizer finding or a failed check aborts the program with the file named last here.
        fprintf(stderr, "replaying %s\n", file.c_str());
        // A copy of exactly the file's size, so reads past the input are caught as in the fuzzer.
        uint8_t* exact = new uint8_t[bytes.size() ? bytes.size() : 1];
        if (!bytes.empty())
            memcpy(exact, bytes.data(), bytes.size());
        LLVMFuzzerTestOneInput(exact, bytes.size());
        delete[] exact;
        ++passed;
    }
    printf("%s: %d passed, %d failed\n", argv[0], passed, failed);
    return failed == 0 ? 0 : 1;
}
