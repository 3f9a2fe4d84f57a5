package com.zorvo.runtime;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The launcher class: the native launcher calls {@link #main} on the VM's main thread.
 *
 * <p>Arguments: five fixed ones, then the application's.
 * <ol>
 * <li>"true" or "false": windowed application;</li>
 * <li>the application's main class, dotted ("/" is accepted as well);</li>
 * <li>a file path, or the empty string;</li>
 * <li>a file path, or the empty string;</li>
 * <li>"true" or "false": a configured flag.</li>
 * </ol>
 * The fixed arguments are recorded for {@link LaunchInfo}; the main class is loaded through the
 * system class loader and its {@code public static void main(String[])} is called with a copy of
 * the remaining arguments. An exception thrown by the application propagates unchanged, so that
 * the launcher finds it pending and reports it.
 *
 * <p>When the application cannot be started, a one-line message goes to standard error. Started by
 * the native launcher (the property {@code zorvo.moduleName} is set), {@code main} then returns
 * and {@link #startFailure} tells the launcher why, which reports it in its own way (a message
 * box naming the class for a windowed application). Started any other way, the process ends
 * with one of the {@code EXIT_} codes below.
 */
public final class WinLauncher {

    /** Fewer than the five fixed arguments were handed over. */
    public static final int EXIT_TOO_FEW_ARGUMENTS = 2;
    /** The main class is not on the class path (or no name was given). */
    public static final int EXIT_CLASS_NOT_FOUND = 3;
    /** The main class exists but cannot be loaded or linked (wrong class file version, missing dependency). */
    public static final int EXIT_CLASS_NOT_LOADABLE = 4;
    /** The main class has no usable {@code public static void main(String[])}. */
    public static final int EXIT_NO_MAIN_METHOD = 5;

    /** Number of fixed arguments ahead of the application's. */
    public static final int FIXED_ARGUMENTS = 5;

    private static final String MESSAGE_PREFIX = "zorvo: ";

    /** Why the last call of main could not start the application: an EXIT_ code, or 0. */
    private static volatile int startFailure;

    private WinLauncher() {
    }

    /** Entry point called by the native launcher; see the class description. */
    public static void main(String[] args) {
        startFailure = 0;
        if (args == null || args.length < FIXED_ARGUMENTS) {
            exit(new LaunchFailure(EXIT_TOO_FEW_ARGUMENTS, "expected at least " + FIXED_ARGUMENTS
                    + " launcher arguments, got " + (args == null ? 0 : args.length)));
            return;
        }
        LaunchInfo.record(Arrays.copyOf(args, FIXED_ARGUMENTS));
        Method main;
        try {
            main = findMain(args[1]);
        } catch (LaunchFailure failure) {
            exit(failure);
            return;
        }
        invokeMain(main, Arrays.copyOfRange(args, FIXED_ARGUMENTS, args.length));
    }

    /**
     * Loads the class through the system class loader, without initialising it, and returns its
     * {@code public static void main(String[])}, made callable also when the class is not public.
     */
    static Method findMain(String className) throws LaunchFailure {
        String name = className == null ? "" : className.replace('/', '.');
        if (name.isEmpty()) {
            throw new LaunchFailure(EXIT_CLASS_NOT_FOUND, "no main class given");
        }
        Class<?> cls;
        try {
            cls = Class.forName(name, false, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            throw new LaunchFailure(EXIT_CLASS_NOT_FOUND, "main class " + name + " not found");
        } catch (LinkageError e) {
            throw new LaunchFailure(EXIT_CLASS_NOT_LOADABLE, "main class " + name + " cannot be loaded: " + e);
        }
        Method main;
        try {
            main = cls.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            throw new LaunchFailure(EXIT_NO_MAIN_METHOD, describeMissingMain(cls));
        } catch (LinkageError e) {
            throw new LaunchFailure(EXIT_CLASS_NOT_LOADABLE, "main class " + name + " cannot be loaded: " + e);
        }
        if (!Modifier.isStatic(main.getModifiers())) {
            throw new LaunchFailure(EXIT_NO_MAIN_METHOD, "method main(String[]) of class " + name + " is not static");
        }
        if (main.getReturnType() != void.class) {
            throw new LaunchFailure(EXIT_NO_MAIN_METHOD, "method main(String[]) of class " + name + " does not return void");
        }
        try {
            main.setAccessible(true); // a public main of a non-public class
        } catch (RuntimeException e) {
            // refused (class in a closed module): invoke reports it if access is really needed
        }
        return main;
    }

    private static String describeMissingMain(Class<?> cls) {
        try {
            cls.getDeclaredMethod("main", String[].class);
            return "method main(String[]) of class " + cls.getName() + " is not public";
        } catch (NoSuchMethodException | LinkageError e) {
            return "class " + cls.getName() + " has no method public static void main(String[])";
        }
    }

    /** Calls the application's main; whatever it throws is rethrown as itself. */
    static void invokeMain(Method main, String[] applicationArgs) {
        try {
            main.invoke(null, (Object) applicationArgs);
        } catch (InvocationTargetException e) {
            Throwable thrown = e.getCause();
            throw WinLauncher.<RuntimeException>sneakyThrow(thrown != null ? thrown : e);
        } catch (IllegalAccessException e) {
            exit(new LaunchFailure(EXIT_NO_MAIN_METHOD, "method main(String[]) of class "
                    + main.getDeclaringClass().getName() + " cannot be called: " + e.getMessage()));
        }
    }

    /** Throws any throwable without declaring it; the return type only lets callers write {@code throw}. */
    @SuppressWarnings("unchecked")
    private static <T extends Throwable> RuntimeException sneakyThrow(Throwable t) throws T {
        throw (T) t;
    }

    /**
     * Asked by the native launcher once {@link #main} has returned: 0 when the application's main
     * was called, else the {@code EXIT_} code of why it was not. The launcher reports a non-zero
     * answer with its message for a missing main class (3, 4) or main method (5).
     */
    static int startFailure() {
        return startFailure;
    }

    /** Writes the reason; ends the process unless the native launcher will report it. */
    private static void exit(LaunchFailure failure) {
        System.err.println(MESSAGE_PREFIX + failure.getMessage());
        System.err.flush();
        if (LaunchInfo.getModuleName() != null) {
            startFailure = failure.exitCode;
            return;
        }
        System.exit(failure.exitCode);
    }

    /** Why the application cannot be started, with the process exit code that says so. */
    static final class LaunchFailure extends Exception {
        private static final long serialVersionUID = 1L;
        final int exitCode;

        LaunchFailure(int exitCode, String message) {
            super(message.replace('\r', ' ').replace('\n', ' '));
            this.exitCode = exitCode;
        }
    }
}
