// unpack200.exe double: "unpack200 [-r] PACK JAR" writes JAR with the bytes of
// PACK (a plain copy stands in for unpacking) and, with -r, deletes PACK.
// Every start is logged with its raw command line.
#include "../common/behaviour.h"
#include "../common/process_info.h"
#include "../common/testvm_log.h"
#include "../common/win_util.h"

#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: unpack200 [-r|--remove-pack-file] [-v|--verbose] packfile jarfile\r\n";

int finish(int code) {
    testvm::Record("exit").number("code", code).write();
    return code;
}

int fail(int code, const std::string& message) {
    testvm::writeStd(STD_ERROR_HANDLE, "unpack200: " + message + "\r\n");
    return finish(code);
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    testvm::setLogSource("unpack200");
    std::string directory = testvm::directoryOf(testvm::modulePath(nullptr));
    testvm::Behaviour behaviour = testvm::loadBehaviour(directory, "ZORVO_TESTVM_UNPACK200_BEHAVIOUR");

    testvm::Record exec("exec");
    testvm::addProcessInfo(exec, argc, argv);
    exec.text("behaviour", behaviour.directives).write();
    if (!behaviour.error.empty()) return fail(97, "unknown behaviour directive: " + behaviour.error);

    bool remove = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (files.empty() && (arg == "-r" || arg == "--remove-pack-file")) {
            remove = true;
        } else if (files.empty() && (arg == "-v" || arg == "--verbose")) {
            continue;
        } else if (files.empty() && arg.size() > 1 && arg[0] == '-') {
            return fail(2, "unknown option " + arg + "\r\n" + kUsage);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return fail(2, std::string("expected a pack file and a jar file\r\n") + kUsage);

    testvm::waitAsScripted(behaviour);
    if (behaviour.exitCode != 0) return fail(behaviour.exitCode, "failing as scripted");

    std::string bytes;
    if (!testvm::readFile(files[0], bytes)) return fail(1, "cannot read " + files[0]);
    if (!writeWholeFile(files[1], bytes)) return fail(1, "cannot write " + files[1]);
    bool removed = remove && DeleteFileA(files[0].c_str());
    testvm::Record("unpacked")
        .text("pack", files[0])
        .text("jar", files[1])
        .number("bytes", static_cast<long long>(bytes.size()))
        .flag("removed", removed)
        .write();
    return finish(0);
}
