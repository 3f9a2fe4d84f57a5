// realvm_driver: runs the launcher's own JNI launch code (VM creation, the
// first-run hook, the launcher class, the splash poller's calls) against a
// real Java VM library on the host, loaded with dlopen, the way the launcher
// runs it on Windows.
//
//   realvm_driver LIBJVM [--opt OPTION]... [--arg BYTES]... [--first-run]
//                 [--splash MS] [--keep-vm]
//
//   --opt OPTION   a VM option, in order
//   --arg BYTES    an argument of the launcher class's main (the five fixed ones
//                  included), its bytes as given
//   --first-run    ask the installer flavour's first-run hook
//   --splash MS    a second native thread polls the splash controller every MS
//                  ms, as the splash thread does, until it answers "close"
//   --keep-vm      do not destroy the VM at the end
//   --hand-over FILE  bind the hand-over listener's native wait, woken when
//                  FILE (the process-communication file) is written, as the
//                  first instance's event wakes it on Windows
//
// Standard output: "splash text HHHH,HHHH,..." for each status text (UTF-16
// units in hex), "splash close" and "splash detached" when the controller
// closes the splash, "outcome NAME" and, for a failure, "report ID
// PLACEHOLDER=VALUE", then "end". Exit code 0 when the application ran, 1
// when the launch failed, 2 for a usage error or a library that does not load.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "common/string_list.h"
#include "config/config_ids.h"
#include "vm/java_vm_launcher.h"
#include "vm/java_vm_state.h"
#include "vm/splash_controller.h"

using namespace zorvo;

namespace {

const char* const kOutcomeNames[] = {
    "Ran", "VmNotCreated", "ExceptionEscaped", "ArgumentsFailed", "LauncherClassMissing", "LauncherMainMissing",
    "FirstRunClassMissing", "FirstRunMethodMissing", "MainClassMissing", "MainMethodMissing",
};

struct Options {
    StringList vmOptions;
    StringList arguments;
    bool firstRun = false;
    long splashMs = 0;
    bool destroy = true;
    const char* handOverFile = nullptr;
};

// Watches the communication file; made before the VM exists.
int handOverWatch = -1;
const char* handOverFile = nullptr;

bool waitForFileChange(int32_t timeoutMs) {
    pollfd watch{handOverWatch, POLLIN, 0};
    if (poll(&watch, 1, timeoutMs) <= 0) return false;
    char events[4096];
    ssize_t ignored = read(handOverWatch, events, sizeof(events));
    (void)ignored;
    return true;
}

// Lines from two threads (and the VM's own output) stay whole.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&lock);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
    pthread_mutex_unlock(&lock);
}

// Ends the hand-overs as the launcher does: the closing mark appended under
// the file's lock.
void markFileClosed() {
    int file = open(handOverFile, O_WRONLY | O_APPEND);
    bool marked = file >= 0 && lockf(file, F_LOCK, 0) == 0 && write(file, "\xC0\x80\r\n", 4) == 4;
    if (file >= 0) close(file);
    say("hand-overs stopped%s", marked ? "" : " (the file could not be marked)");
}

void sleepMs(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

void showText(const uint16_t* units, size_t count) {
    char line[8 * 8192 + 64];
    size_t at = 0;
    for (size_t i = 0; i < count && i < 8192; ++i) {
        at += static_cast<size_t>(snprintf(line + at, sizeof(line) - at, i ? ",%04X" : "%04X", units[i]));
    }
    line[at] = '\0';
    say("splash text %s", line);
}

void* splashThread(void* parameter) {
    long ms = *static_cast<long*>(parameter);
    for (;;) {
        sleepMs(ms);
        if (pollSplashController(showText) == ControllerAnswer::Close) break;
    }
    say("splash close");
    detachSplashPoller();
    say("splash detached");
    return nullptr;
}

void buildArguments(void* ctx, StringList& arguments) {
    const StringList* given = static_cast<const StringList*>(ctx);
    for (size_t i = 0; i < given->count; ++i) arguments.add(given->at(i));
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 2; i < argc; ++i) {
        const char* a = argv[i];
        bool valued = i + 1 < argc;
        if (strcmp(a, "--opt") == 0 && valued) {
            options.vmOptions.add(argv[++i]);
        } else if (strcmp(a, "--arg") == 0 && valued) {
            options.arguments.add(argv[++i]);
        } else if (strcmp(a, "--splash") == 0 && valued) {
            options.splashMs = atol(argv[++i]);
        } else if (strcmp(a, "--first-run") == 0) {
            options.firstRun = true;
        } else if (strcmp(a, "--hand-over") == 0 && valued) {
            options.handOverFile = argv[++i];
        } else if (strcmp(a, "--keep-vm") == 0) {
            options.destroy = false;
        } else {
            fprintf(stderr, "realvm_driver: bad argument '%s'\n", a);
            return false;
        }
    }
    return options.splashMs >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc < 2 || !parse(argc, argv, options)) return 2;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    void* entry = library ? dlsym(library, "JNI_CreateJavaVM") : nullptr;
    if (!entry) {
        fprintf(stderr, "realvm_driver: %s\n", dlerror());
        return 2;
    }
    setCreateJavaVM(reinterpret_cast<CreateJavaVMFunction>(entry));

    JavaVMOption* vmOptions = static_cast<JavaVMOption*>(calloc(options.vmOptions.count + 1, sizeof(JavaVMOption)));
    for (size_t i = 0; i < options.vmOptions.count; ++i) vmOptions[i].optionString = options.vmOptions.items[i];
    JavaVMInitArgs initArgs{};
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = static_cast<jint>(options.vmOptions.count);
    initArgs.options = vmOptions;
    initArgs.ignoreUnrecognized = JNI_TRUE;

    pthread_t poller;
    if (options.splashMs > 0) pthread_create(&poller, nullptr, splashThread, &options.splashMs);

    const HandOverHooks hooks{waitForFileChange, markFileClosed};
    if (options.handOverFile) {
        handOverFile = options.handOverFile;
        handOverWatch = inotify_init1(IN_CLOEXEC);
        if (handOverWatch < 0 || inotify_add_watch(handOverWatch, options.handOverFile, IN_MODIFY) < 0) {
            perror("realvm_driver: inotify");
            return 2;
        }
    }
    JavaLaunch launch{&initArgs, options.firstRun, options.splashMs > 0, options.handOverFile ? &hooks : nullptr,
                      buildArguments, &options.arguments};
    LaunchOutcome outcome = launchJava(launch, options.destroy);
    say("outcome %s", kOutcomeNames[static_cast<int>(outcome)]);
    if (outcome != LaunchOutcome::Ran) {
        const char* mainClass = options.arguments.count > 1 ? options.arguments.at(1) : "";
        LaunchReport report = describeLaunchOutcome(outcome, mainClass);
        say("report %d %s=%s", report.message, report.value ? messagePlaceholder(report.message) : "",
            report.value ? report.value : "");
    }
    say("end");
    // Ends at once, as the launcher ends its process: after a failed launch the
    // VM is still alive, and a normal exit's clean-up races with its threads
    // (with -Xcheck:jni its signal check then prints a warning behind "end").
    fflush(stdout);
    fflush(stderr);
    _exit(outcome == LaunchOutcome::Ran ? 0 : 1);
}
