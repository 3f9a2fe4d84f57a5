package com.quenbrook.runtime;

import java.lang.reflect.Constructor;

/**
 * First-run hook of the installer flavour.
 *
 * <p>When the marker file ".quenbrook\firstrun" exists below the configured base directory, the
 * launcher calls {@link #firstRun} right after creating the VM, before the application's main
 * class is loaded. True starts the application; false ends the process normally without starting
 * it; an exception is printed to standard error and the application is not started either.
 *
 * <p>Since no application code has run at that point, the hook is found in this order:
 * <ol>
 * <li>a hook set with {@link #setHook} (from a Java agent, for instance);</li>
 * <li>the class named by the system property {@value #HOOK_PROPERTY} (set it among the VM
 * options): it must implement {@link Hook} and have a no-argument constructor, and is loaded
 * through the system class loader;</li>
 * <li>none: {@link #firstRun} answers true.</li>
 * </ol>
 */
public final class FirstRun {

    /** System property naming the hook class. */
    public static final String HOOK_PROPERTY = "zorvo.firstRunHook";

    /** Decides whether the application starts. */
    @FunctionalInterface
    public interface Hook {
        /**
         * Runs the first-run work.
         *
         * @return true to start the application, false to end without starting it
         * @throws Exception to report a failure; the application is not started
         */
        boolean run() throws Exception;
    }

    private static volatile Hook hook;

    private FirstRun() {
    }

    /** Sets the hook that {@link #firstRun} asks; null removes it. */
    public static void setHook(Hook newHook) {
        hook = newHook;
    }

    /**
     * Called by the launcher: true unless the hook says otherwise.
     *
     * @throws Exception whatever the hook throws, as itself; an IllegalStateException when the
     *         class named by {@value #HOOK_PROPERTY} cannot be loaded or is not a usable hook
     */
    public static boolean firstRun() throws Exception {
        Hook h = hook;
        if (h == null) {
            h = hookFromProperty();
        }
        return h == null || h.run();
    }

    private static Hook hookFromProperty() {
        String name = System.getProperty(HOOK_PROPERTY);
        if (name == null || name.trim().isEmpty()) {
            return null;
        }
        name = name.trim();
        Class<?> cls;
        try {
            cls = Class.forName(name, true, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException | LinkageError e) {
            throw new IllegalStateException("first-run hook class " + name + " cannot be loaded", e);
        }
        if (!Hook.class.isAssignableFrom(cls)) {
            throw new IllegalStateException("first-run hook class " + name + " does not implement " + Hook.class.getName());
        }
        try {
            Constructor<?> constructor = cls.getDeclaredConstructor();
            constructor.setAccessible(true);
            return (Hook) constructor.newInstance();
        } catch (ReflectiveOperationException | RuntimeException e) {
            throw new IllegalStateException("first-run hook class " + name + " cannot be instantiated", e);
        }
    }
}
