/* Machine-dependent JNI definitions for 32-bit Windows: the calling
   convention is stdcall and jint is 32 bits wide. The installed JDK supplies
   the portable jni.h, which includes this file. */
#ifndef ZORVO_JNI_MD_H
#define ZORVO_JNI_MD_H

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
