package com.zorvo.runtime;

import static testkit.Assert.assertEquals;
import static testkit.Assert.assertTrue;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

import testkit.Test;

/** The launcher finds these methods by class name, name and JNI signature; they must stay exactly so. */
public class NativeInterfaceTest {

    private static void assertPublicStatic(String className, String name, Class<?> returnType, Class<?>... parameters)
            throws Exception {
        Class<?> cls = Class.forName(className, false, ClassLoader.getSystemClassLoader());
        assertTrue(Modifier.isPublic(cls.getModifiers()), className + " is public");
        Method m = cls.getDeclaredMethod(name, parameters);
        assertTrue(Modifier.isPublic(m.getModifiers()) && Modifier.isStatic(m.getModifiers()),
                className + "." + name + " is public static");
        assertEquals(returnType, m.getReturnType());
    }

    @Test
    public void launcherClassMain() throws Exception {
        assertPublicStatic("com.zorvo.runtime.WinLauncher", "main", void.class, String[].class); // ([Ljava/lang/String;)V
    }

    @Test
    public void splashPollingMethods() throws Exception {
        assertPublicStatic("com.zorvo.runtime.ZorvoController", "getAction", int.class); // ()I
        assertPublicStatic("com.zorvo.runtime.ZorvoController", "getText", String.class); // ()Ljava/lang/String;
    }

    private static Method staticMethod(String className, String name, Class<?> returnType) throws Exception {
        Method m = Class.forName(className, false, ClassLoader.getSystemClassLoader()).getDeclaredMethod(name);
        assertTrue(Modifier.isStatic(m.getModifiers()), className + "." + name + " is static");
        assertEquals(returnType, m.getReturnType());
        return m;
    }

    @Test
    public void launcherOnlyMethods() throws Exception {
        staticMethod("com.zorvo.runtime.WinLauncher", "startFailure", int.class); // ()I
        staticMethod("com.zorvo.runtime.ZorvoController", "installShutdownHook", void.class); // ()V
        Method stop = staticMethod("com.zorvo.runtime.ZorvoController", "stopSplashPolling", void.class); // ()V
        assertTrue(Modifier.isNative(stop.getModifiers()), "stopSplashPolling is native");
    }

    @Test
    public void firstRunHook() throws Exception {
        assertPublicStatic("com.quenbrook.runtime.FirstRun", "firstRun", boolean.class); // ()Z
    }
}
