// The JNI environment functions of the double. Each one validates what it is
// given (a misuse ends the process through violation()), logs one record and
// answers as a VM would. Every slot without an implementation ends the
// process through unimplementedSlot().
#include "slot_names.h"
#include "vm_state.h"

#include <array>
#include <cstdarg>
#include <utility>

namespace testvm {
namespace {

const jint kJniVersion = JNI_VERSION_10;
// 'W' units behind the characters of an unterminated GetStringChars answer.
const size_t kUnterminatedTail = 64;

struct HandedOutChars {
    Obj* string;
    jchar* chars;
};
std::vector<HandedOutChars> handedOutChars;

std::string className(const Obj* cls) { return cls->described->name; }

// --- versions, classes, methods ---------------------------------------------

jint JNICALL GetVersion(JNIEnv* env) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "GetVersion");
    envRecord(thread, "GetVersion").number("result", kJniVersion).write();
    return kJniVersion;
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "FindClass");
    if (name == nullptr) violation("FindClass with a null name");
    Record record = envRecord(thread, "FindClass");
    const ClassDesc* desc = scriptedMissing(name) ? nullptr : findClassDesc(name);
    Obj* cls = nullptr;
    if (desc) {
        cls = newObj(ObjKind::Class);
        cls->described = desc;
    } else {
        throwNew(thread, "java.lang.NoClassDefFoundError", widenBytes(name), "");
    }
    record.text("name", name).flag("found", cls != nullptr).json("ref", refJson(cls)).write();
    return reinterpret_cast<jclass>(cls);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "GetStaticMethodID");
    Obj* cls = checkKind(clazz, ObjKind::Class, "GetStaticMethodID class");
    if (name == nullptr || sig == nullptr) violation("GetStaticMethodID with a null name or signature");
    Record record = envRecord(thread, "GetStaticMethodID");
    bool missing = scriptedMissing(className(cls) + "." + name);
    const MethodDesc* method = missing ? nullptr : findMethodDesc(cls->described, name, sig);
    if (method == nullptr) throwNew(thread, "java.lang.NoSuchMethodError", widenBytes(name), "");
    record.text("class", className(cls)).text("name", name).text("sig", sig).flag("found", method != nullptr).write();
    return reinterpret_cast<jmethodID>(const_cast<MethodDesc*>(method));
}

// Binds native methods of a known class. As a VM does, every method must be a
// native one of the class with that name and signature; otherwise
// NoSuchMethodError is left pending, nothing is bound and the answer is JNI_ERR.
jint JNICALL RegisterNatives(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "RegisterNatives");
    Obj* cls = checkKind(clazz, ObjKind::Class, "RegisterNatives class");
    if (methods == nullptr || count <= 0) violation("RegisterNatives without methods");
    Record record = envRecord(thread, "RegisterNatives");
    std::vector<std::string> names;
    std::vector<const NativeDesc*> found;
    for (jint i = 0; i < count; ++i) {
        if (!methods[i].name || !methods[i].signature || !methods[i].fnPtr) {
            violation("RegisterNatives with a null name, signature or function");
        }
        names.push_back(jsonBytes(std::string(methods[i].name) + methods[i].signature));
        const NativeDesc* native = findNativeDesc(cls->described, methods[i].name, methods[i].signature);
        if (native == nullptr) {
            throwNew(thread, "java.lang.NoSuchMethodError", widenBytes(methods[i].name), "");
            break;
        }
        found.push_back(native);
    }
    jint result = thread.pending ? JNI_ERR : JNI_OK;
    if (result == JNI_OK) {
        for (jint i = 0; i < count; ++i) bindNative(found[static_cast<size_t>(i)], methods[i].fnPtr);
    }
    record.text("class", className(cls)).json("methods", jsonArray(names)).number("result", result).write();
    return result;
}

// --- static method calls ---------------------------------------------------------

// The parameter kinds of a method signature: 'Z','B','C','S','I','J','F','D' or
// 'L' for any reference.
std::string parameterKinds(const char* sig) {
    std::string kinds;
    const char* p = sig + 1;
    while (*p && *p != ')') {
        bool array = false;
        while (*p == '[') {
            array = true;
            ++p;
        }
        if (*p == 'L') {
            while (*p && *p != ';') ++p;
        }
        kinds += array || *p == ';' ? 'L' : *p;
        if (*p) ++p;
    }
    return kinds;
}

char returnKind(const char* sig) {
    const char* close = sig;
    while (*close && *close != ')') ++close;
    char kind = close[0] ? close[1] : '?';
    return kind == '[' ? 'L' : kind;
}

std::vector<jvalue> argumentsFromList(const char* sig, va_list list) {
    std::vector<jvalue> values;
    for (char kind : parameterKinds(sig)) {
        jvalue value;
        value.j = 0;
        switch (kind) {
        case 'J': value.j = va_arg(list, jlong); break;
        case 'F': value.f = static_cast<jfloat>(va_arg(list, double)); break;
        case 'D': value.d = va_arg(list, double); break;
        case 'L': value.l = va_arg(list, jobject); break;
        default: value.i = va_arg(list, int); break;
        }
        values.push_back(value);
    }
    return values;
}

std::vector<jvalue> argumentsFromArray(const char* sig, const jvalue* array) {
    size_t count = parameterKinds(sig).size();
    if (count > 0 && array == nullptr) violation("Call...MethodA with a null argument array");
    return std::vector<jvalue>(array, array + count);
}

const MethodDesc* checkMethod(jmethodID id, const char* call) {
    const MethodDesc* method = reinterpret_cast<const MethodDesc*>(id);
    if (method == nullptr) violation(std::string(call) + " with a null method id");
    if (!isKnownMethod(method)) violation(std::string(call) + " with a method id this VM never handed out");
    return method;
}

// Checks a call, runs the method without holding the lock and logs the call
// with its result. `expected` is the return kind of the Call...Method variant.
jvalue callStatic(JNIEnv* env, const char* call, char expected, jclass clazz, jmethodID id,
                  const char* variant, va_list* list, const jvalue* array) {
    ThreadEnv* thread;
    const MethodDesc* method;
    bool pendingBefore, classMismatch;
    std::vector<jvalue> args;
    {
        Guard guard(vmLock());
        thread = &checkEnv(env, call);
        Obj* cls = checkKind(clazz, ObjKind::Class, call);
        method = checkMethod(id, call);
        if (returnKind(method->signature) != expected) {
            violation(std::string(call) + " used for " + method->owner->name + "." + method->name +
                      method->signature);
        }
        pendingBefore = thread->pending != nullptr;
        classMismatch = cls->described != method->owner;
        args = list ? argumentsFromList(method->signature, *list)
                    : argumentsFromArray(method->signature, array);
    }
    jvalue result = method->handler(*thread, args);
    Guard guard(vmLock());
    Record record(call);
    if (pendingBefore) record.flag("exceptionPending", true);
    record.text("variant", variant).text("class", method->owner->name).text("method", method->name)
        .text("sig", method->signature);
    if (classMismatch) record.flag("classMismatch", true);
    switch (expected) {
    case 'Z': record.flag("result", result.z != JNI_FALSE); break;
    case 'I': record.number("result", result.i); break;
    case 'L': {
        Obj* obj = reinterpret_cast<Obj*>(result.l);
        record.json("result", refJson(obj));
        if (obj && obj->kind == ObjKind::String) record.units("resultText", obj->text);
        break;
    }
    default: break;
    }
    const Obj* pending = thread->pending;
    record.json("exception", pending ? jsonBytes(pending->throwableClass) : "null").write();
    return result;
}

#define ZORVO_TESTVM_CALLS(Name, Type, Kind, Field)                                              \
    Type JNICALL CallStatic##Name##Method(JNIEnv* env, jclass clazz, jmethodID id, ...) {        \
        va_list list;                                                                            \
        va_start(list, id);                                                                      \
        jvalue result = callStatic(env, "CallStatic" #Name "Method", Kind, clazz, id,           \
                                   "...", &list, nullptr);                                       \
        va_end(list);                                                                            \
        return static_cast<Type>(result.Field);                                                  \
    }                                                                                            \
    Type JNICALL CallStatic##Name##MethodV(JNIEnv* env, jclass clazz, jmethodID id, va_list list) { \
        va_list copy;                                                                            \
        va_copy(copy, list);                                                                     \
        jvalue result = callStatic(env, "CallStatic" #Name "Method", Kind, clazz, id,           \
                                   "V", &copy, nullptr);                                         \
        va_end(copy);                                                                            \
        return static_cast<Type>(result.Field);                                                  \
    }                                                                                            \
    Type JNICALL CallStatic##Name##MethodA(JNIEnv* env, jclass clazz, jmethodID id,              \
                                           const jvalue* args) {                                 \
        jvalue result = callStatic(env, "CallStatic" #Name "Method", Kind, clazz, id,           \
                                   "A", nullptr, args);                                          \
        return static_cast<Type>(result.Field);                                                  \
    }

ZORVO_TESTVM_CALLS(Object, jobject, 'L', l)
ZORVO_TESTVM_CALLS(Boolean, jboolean, 'Z', z)
ZORVO_TESTVM_CALLS(Int, jint, 'I', i)

void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    callStatic(env, "CallStaticVoidMethod", 'V', clazz, id, "...", &list, nullptr);
    va_end(list);
}

void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass clazz, jmethodID id, va_list list) {
    va_list copy;
    va_copy(copy, list);
    callStatic(env, "CallStaticVoidMethod", 'V', clazz, id, "V", &copy, nullptr);
    va_end(copy);
}

void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
    callStatic(env, "CallStaticVoidMethod", 'V', clazz, id, "A", nullptr, args);
}

// --- exceptions --------------------------------------------------------------

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "ExceptionOccurred");
    Obj* ref = nullptr;
    if (thread.pending) {
        // A fresh local reference, so that deleting it leaves the pending exception alone.
        ref = newThrowable(thread.pending->throwableClass, thread.pending->text, thread.pending->throwableFrame);
    }
    Record("ExceptionOccurred")
        .json("result", refJson(ref))
        .json("exception", ref ? jsonBytes(ref->throwableClass) : "null")
        .write();
    return reinterpret_cast<jthrowable>(ref);
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "ExceptionDescribe");
    Obj* pending = thread.pending;
    Record record("ExceptionDescribe");
    if (pending) {
        std::string trace = "Exception in thread \"" + thread.name + "\" " + pending->throwableClass;
        if (!pending->text.empty()) trace += ": " + narrowForMessage(pending->text);
        trace += "\n";
        if (!pending->throwableFrame.empty()) trace += "\tat " + pending->throwableFrame + "\n";
        writeStd(STD_ERROR_HANDLE, trace);
        record.text("exception", pending->throwableClass).units("message", pending->text);
    } else {
        record.null("exception");
    }
    record.write();
    thread.pending = nullptr;  // describing clears the exception, as JNI defines it
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "ExceptionCheck");
    Record("ExceptionCheck").flag("result", thread.pending != nullptr).write();
    return thread.pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL ExceptionClear(JNIEnv* env) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "ExceptionClear");
    Record("ExceptionClear")
        .json("exception", thread.pending ? jsonBytes(thread.pending->throwableClass) : "null")
        .write();
    thread.pending = nullptr;
}

// --- references, strings, arrays ------------------------------------------------

void JNICALL DeleteLocalRef(JNIEnv* env, jobject ref) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "DeleteLocalRef");
    Obj* obj = checkObjOrNull(ref, "DeleteLocalRef");
    envRecord(thread, "DeleteLocalRef").json("ref", refJson(obj)).write();
    deleteRef(obj);
}

jstring JNICALL NewString(JNIEnv* env, const jchar* unicode, jsize length) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "NewString");
    if (length < 0) violation("NewString with a negative length");
    if (unicode == nullptr && length > 0) violation("NewString with null characters");
    std::u16string units(reinterpret_cast<const char16_t*>(unicode), static_cast<size_t>(length));
    Obj* str = newString(units);
    envRecord(thread, "NewString").number("length", length).units("text", units).json("ref", refJson(str)).write();
    return reinterpret_cast<jstring>(str);
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring ref) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "GetStringLength");
    Obj* str = checkKind(ref, ObjKind::String, "GetStringLength");
    jsize length = static_cast<jsize>(str->text.size());
    envRecord(thread, "GetStringLength").json("ref", refJson(str)).number("result", length).write();
    return length;
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring ref, jboolean* isCopy) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "GetStringChars");
    Obj* str = checkKind(ref, ObjKind::String, "GetStringChars");
    // A copy with a terminating zero unit, which real VMs also provide; with
    // ZORVO_TESTVM_STRING_CHARS=unterminated the characters are followed by
    // kUnterminatedTail units of 'W' first, as a VM may hand out its own array.
    std::string mode;
    envNarrow("ZORVO_TESTVM_STRING_CHARS", mode);
    if (!mode.empty() && mode != "unterminated") scriptError("ZORVO_TESTVM_STRING_CHARS must be unterminated");
    size_t tail = mode.empty() ? 0 : kUnterminatedTail;
    jchar* chars = new jchar[str->text.size() + tail + 1];
    for (size_t i = 0; i < str->text.size(); ++i) chars[i] = str->text[i];
    for (size_t i = 0; i < tail; ++i) chars[str->text.size() + i] = u'W';
    chars[str->text.size() + tail] = 0;
    handedOutChars.push_back({str, chars});
    if (isCopy) *isCopy = JNI_TRUE;
    envRecord(thread, "GetStringChars")
        .json("ref", refJson(str))
        .number("length", static_cast<long long>(str->text.size()))
        .flag("isCopyAsked", isCopy != nullptr)
        .write();
    return chars;
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring ref, const jchar* chars) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "ReleaseStringChars");
    Obj* str = checkKind(ref, ObjKind::String, "ReleaseStringChars");
    for (auto it = handedOutChars.begin(); it != handedOutChars.end(); ++it) {
        if (it->string == str && it->chars == chars) {
            delete[] it->chars;
            handedOutChars.erase(it);
            envRecord(thread, "ReleaseStringChars").json("ref", refJson(str)).write();
            return;
        }
    }
    violation("ReleaseStringChars with characters that GetStringChars did not hand out for ref " +
              std::to_string(str->id));
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initial) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "NewObjectArray");
    Obj* cls = checkKind(elementClass, ObjKind::Class, "NewObjectArray element class");
    Obj* init = checkObjOrNull(initial, "NewObjectArray initial element");
    Record record = envRecord(thread, "NewObjectArray");
    Obj* array = nullptr;
    if (length < 0) {
        throwNew(thread, "java.lang.NegativeArraySizeException", widenBytes(std::to_string(length)), "");
    } else {
        array = newObj(ObjKind::Array);
        array->elementClass = cls->described;
        array->elements.assign(static_cast<size_t>(length), init);
    }
    record.number("length", length).text("elementClass", className(cls)).json("init", refJson(init))
        .json("ref", refJson(array)).write();
    return reinterpret_cast<jobjectArray>(array);
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray arrayRef, jsize index, jobject value) {
    Guard guard(vmLock());
    ThreadEnv& thread = checkEnv(env, "SetObjectArrayElement");
    Obj* array = checkKind(arrayRef, ObjKind::Array, "SetObjectArrayElement array");
    Obj* element = checkObjOrNull(value, "SetObjectArrayElement value");
    Record record = envRecord(thread, "SetObjectArrayElement");
    record.json("array", refJson(array)).number("index", index).json("value", refJson(element));
    bool isString = std::string(array->elementClass->name) == "java/lang/String";
    if (index < 0 || static_cast<size_t>(index) >= array->elements.size()) {
        std::string message = "Index " + std::to_string(index) + " out of bounds for length " +
                              std::to_string(array->elements.size());
        throwNew(thread, "java.lang.ArrayIndexOutOfBoundsException", widenBytes(message), "");
        record.text("thrown", "java.lang.ArrayIndexOutOfBoundsException");
    } else if (element && isString && element->kind != ObjKind::String) {
        throwNew(thread, "java.lang.ArrayStoreException", u"", "");
        record.text("thrown", "java.lang.ArrayStoreException");
    } else {
        array->elements[static_cast<size_t>(index)] = element;
    }
    record.write();
}

// --- the table ---------------------------------------------------------------------

constexpr size_t kEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);

template <size_t N>
void envStub() {
    unimplementedSlot("env", static_cast<int>(N), envSlotName(static_cast<int>(N)));
}

template <size_t... I>
std::array<void*, sizeof...(I)> envStubs(std::index_sequence<I...>) {
    return {{reinterpret_cast<void*>(&envStub<I>)...}};
}

JNINativeInterface_ buildTable() {
    JNINativeInterface_ table;
    std::array<void*, kEnvSlots> stubs = envStubs(std::make_index_sequence<kEnvSlots>());
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < kEnvSlots; ++i) slots[i] = stubs[i];
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.DeleteLocalRef = DeleteLocalRef;
    table.GetStaticMethodID = GetStaticMethodID;
    table.RegisterNatives = RegisterNatives;
    table.CallStaticObjectMethod = CallStaticObjectMethod;
    table.CallStaticObjectMethodV = CallStaticObjectMethodV;
    table.CallStaticObjectMethodA = CallStaticObjectMethodA;
    table.CallStaticBooleanMethod = CallStaticBooleanMethod;
    table.CallStaticBooleanMethodV = CallStaticBooleanMethodV;
    table.CallStaticBooleanMethodA = CallStaticBooleanMethodA;
    table.CallStaticIntMethod = CallStaticIntMethod;
    table.CallStaticIntMethodV = CallStaticIntMethodV;
    table.CallStaticIntMethodA = CallStaticIntMethodA;
    table.CallStaticVoidMethod = CallStaticVoidMethod;
    table.CallStaticVoidMethodV = CallStaticVoidMethodV;
    table.CallStaticVoidMethodA = CallStaticVoidMethodA;
    table.NewString = NewString;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.NewObjectArray = NewObjectArray;
    table.SetObjectArrayElement = SetObjectArrayElement;
    return table;
}

}  // namespace

const JNINativeInterface_* envFunctionTable() {
    static const JNINativeInterface_ table = buildTable();
    return &table;
}

size_t outstandingStringChars() { return handedOutChars.size(); }

void unimplementedSlot(const char* table, int slot, const char* name) {
    std::string what = std::string(name) + " (" + table + " slot " + std::to_string(slot) + ")";
    writeStd(STD_ERROR_HANDLE, "testvm jvm.dll: unimplemented JNI function called: " + what +
                                   "; the double implements only what the launcher is meant to use\n");
    Record("unimplemented").text("table", table).number("slot", slot).text("name", name).write();
    ExitProcess(99);
}

}  // namespace testvm
