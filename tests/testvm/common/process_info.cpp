#include "process_info.h"

#include "win_util.h"

namespace testvm {
namespace {

std::string handleKind(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return "none";
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: return "disk";
    case FILE_TYPE_PIPE: return "pipe";
    case FILE_TYPE_CHAR: return "char";
    default: return "unknown";
    }
}

}  // namespace

void addProcessInfo(Record& record, int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(jsonBytes(argv[i]));
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    record.text("exe", modulePath(nullptr))
        .text("cmdline", GetCommandLineA())
        .json("argv", jsonArray(args))
        .text("cwd", currentDirectory())
        .number("startupFlags", startup.dwFlags)
        .number("showWindow", startup.wShowWindow)
        .json("stdHandles", jsonArray({jsonBytes(handleKind(STD_INPUT_HANDLE)),
                                       jsonBytes(handleKind(STD_OUTPUT_HANDLE)),
                                       jsonBytes(handleKind(STD_ERROR_HANDLE))}));
}

}  // namespace testvm
