// java.exe / javaw.exe double: answers "-version" the way a runtime does, with
// the first line taken from version.txt beside the executable, and logs every
// start. The same source builds both; javaw is a GUI program that still writes
// to whatever standard error handle it was given.
#include "../common/behaviour.h"
#include "../common/process_info.h"
#include "../common/testvm_log.h"
#include "../common/win_util.h"

#include <cstdlib>
#include <string>

#ifdef ZORVO_TESTVM_JAVAW
static const char* const kProgram = "javaw";
#else
static const char* const kProgram = "java";
#endif

namespace {

const char* const kDefaultFirstLine = "java version \"1.8.0_202\"";
const char* const kFurtherLines =
    "Test Runtime Environment (build 1.8.0_202-b08)\r\n"
    "Test Server VM (build 25.202-b08, mixed mode)\r\n";

// The version answer: version.txt's first line (without its line ending) and
// two further lines, or with "raw" the file's bytes unchanged.
std::string versionAnswer(const std::string& directory, const testvm::Behaviour& behaviour,
                          bool& fileFound) {
    std::string content;
    fileFound = testvm::readFile(directory + "version.txt", content);
    if (behaviour.raw && fileFound) return content;
    std::string first = kDefaultFirstLine;
    if (fileFound) {
        first = content.substr(0, content.find('\n'));
        if (!first.empty() && first.back() == '\r') first.pop_back();
    }
    return first + "\r\n" + kFurtherLines;
}

int finish(int code) {
    testvm::Record("exit").number("code", code).write();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    testvm::setLogSource(kProgram);
    std::string directory = testvm::directoryOf(testvm::modulePath(nullptr));
    testvm::Behaviour behaviour = testvm::loadBehaviour(directory, "ZORVO_TESTVM_JAVA_BEHAVIOUR");

    bool fileFound = false;
    std::string answer = versionAnswer(directory, behaviour, fileFound);

    testvm::Record exec("exec");
    testvm::addProcessInfo(exec, argc, argv);
    exec.text("behaviour", behaviour.directives).flag("versionFile", fileFound).write();

    if (!behaviour.error.empty()) {
        testvm::writeStd(STD_ERROR_HANDLE, std::string("testvm ") + kProgram +
                                               ": unknown behaviour directive: " + behaviour.error + "\r\n");
        return finish(97);
    }
    if (argc != 2 || std::string(argv[1]) != "-version") {
        std::string option = argc > 1 ? argv[1] : "(none)";
        testvm::writeStd(STD_ERROR_HANDLE, "Unrecognized option: " + option +
                                               "\r\nError: Could not create the Java Virtual Machine.\r\n");
        return finish(1);
    }
    if (!behaviour.silent) {
        testvm::writeStd(behaviour.toStdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, answer);
    }
    testvm::waitAsScripted(behaviour);
    return finish(behaviour.exitCode);
}
