#include "vm/vm_options.h"

#include <string.h>

#include "common/text.h"

namespace zorvo {
namespace {

void addProperty(StringList& options, const char* name, const char* value) {
    Text<kTextSize> option;
    option.appendFormat("-D%s=%s", name, value ? value : "");
    options.add(option.c_str());
}

}  // namespace

void addLauncherProperties(StringList& options, const LauncherProperties& properties) {
    if (properties.semaphoreName) addProperty(options, "zorvo.semaphoreName", properties.semaphoreName);
    addProperty(options, "zorvo.moduleName", properties.moduleName);
    addProperty(options, "zorvo.processCommFile", properties.processCommFile);
    addProperty(options, "zorvo.tempDir", properties.tempDir);
}

void addOptionsFileLines(StringList& options, FILE* file) {
    char line[kTextSize];
    while (fgets(line, sizeof(line), file)) {
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) line[--n] = '\0';
        options.add(line);
    }
}

void fillInitArgs(JavaVMInitArgs& args, JavaVMOption* storage, const StringList& options) {
    for (size_t i = 0; i < options.count; ++i) {
        storage[i].optionString = options.items[i];
        storage[i].extraInfo = nullptr;
    }
    memset(&args, 0, sizeof(args));
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.count);
    args.options = storage;
    args.ignoreUnrecognized = JNI_TRUE;
}

}  // namespace zorvo
