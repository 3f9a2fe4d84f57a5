package com.zorvo.runtime;

import static testkit.Assert.assertArrayEquals;
import static testkit.Assert.assertContains;
import static testkit.Assert.assertEquals;
import static testkit.Assert.assertSame;
import static testkit.Assert.assertThrows;
import static testkit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

import testapps.BadMains;
import testapps.NeedsLibrary;
import testapps.RecordingApp;
import testapps.ThrowingApp;
import testkit.Test;

public class WinLauncherTest {

    private static String[] concat(String[] a, String... b) {
        String[] all = Arrays.copyOf(a, a.length + b.length);
        System.arraycopy(b, 0, all, a.length, b.length);
        return all;
    }

    private static String[] fixed(String mainClass) {
        return new String[] {"false", mainClass, "", "", "false"};
    }

    // ---- in the test's own VM: arguments, fixed arguments, exceptions

    @Test
    public void applicationReceivesTheRemainingArgumentsUnchanged() {
        String[] appArgs = {"", "two words", "q\"uote", "'single'", "\u00fcml\u00e4ut \u00ff\u0080", "-J-Xmx1g", "%USERPROFILE%", ""};
        RecordingApp.received = null;
        WinLauncher.main(concat(fixed("testapps.RecordingApp"), appArgs));
        assertArrayEquals(appArgs, RecordingApp.received);
    }

    @Test
    public void applicationWithoutArgumentsReceivesAnEmptyArray() {
        RecordingApp.received = null;
        WinLauncher.main(fixed("testapps.RecordingApp"));
        assertEquals(0, RecordingApp.received.length);
    }

    @Test
    public void fixedArgumentsAreVisibleWhileMainRuns() {
        WinLauncher.main(new String[] {"true", "testapps.RecordingApp", "C:\\App\\first.txt", "", "false", "x"});
        assertArrayEquals(new Object[] {true, true, "testapps.RecordingApp", "C:\\App\\first.txt", null, false},
                RecordingApp.launchInfoSeen);

        WinLauncher.main(new String[] {"false", "testapps.RecordingApp", "", "D:\\second file.cfg", "true"});
        assertArrayEquals(new Object[] {true, false, "testapps.RecordingApp", null, "D:\\second file.cfg", true},
                RecordingApp.launchInfoSeen);
    }

    @Test
    public void slashSeparatedClassNameIsAccepted() {
        RecordingApp.received = null;
        WinLauncher.main(concat(fixed("testapps/RecordingApp"), "s"));
        assertArrayEquals(new String[] {"s"}, RecordingApp.received);
    }

    @Test
    public void publicMainOfANonPublicClassIsCalled() {
        RecordingApp.received = null;
        WinLauncher.main(concat(fixed("testapps.HiddenApp"), "hidden"));
        assertArrayEquals(new String[] {"hidden"}, RecordingApp.received);
    }

    @Test
    public void exceptionOfTheApplicationPropagatesAsItself() {
        final IOException checked = new IOException("disk gone");
        ThrowingApp.toThrow = checked;
        assertSame(checked, assertThrows(IOException.class, () -> WinLauncher.main(fixed("testapps.ThrowingApp"))));

        final Error error = new OutOfMemoryError("simulated");
        ThrowingApp.toThrow = error;
        assertSame(error, assertThrows(OutOfMemoryError.class, () -> WinLauncher.main(fixed("testapps.ThrowingApp"))));
    }

    @Test
    public void failingStaticInitialiserPropagatesInsteadOfExiting() {
        ExceptionInInitializerError thrown = assertThrows(ExceptionInInitializerError.class,
                () -> WinLauncher.main(fixed("testapps.FailingInitApp")));
        assertEquals("initialiser failed", thrown.getCause().getMessage());
    }

    // ---- in the test's own VM: which main classes are refused, with which code and message

    private static WinLauncher.LaunchFailure refusal(final String className) {
        return assertThrows(WinLauncher.LaunchFailure.class, () -> WinLauncher.findMain(className));
    }

    @Test
    public void missingOrEmptyClassNameIsClassNotFound() {
        WinLauncher.LaunchFailure f = refusal("com.example.Missing");
        assertEquals(WinLauncher.EXIT_CLASS_NOT_FOUND, f.exitCode);
        assertEquals("main class com.example.Missing not found", f.getMessage());
        assertEquals(WinLauncher.EXIT_CLASS_NOT_FOUND, refusal("").exitCode);
    }

    @Test
    public void unusableMainMethodsAreRefusedWithTheReason() {
        String[][] cases = {
            {BadMains.NoMain.class.getName(), "has no method public static void main(String[])"},
            {BadMains.StringMain.class.getName(), "has no method public static void main(String[])"},
            {BadMains.InstanceMain.class.getName(), "is not static"},
            {BadMains.PrivateMain.class.getName(), "is not public"},
            {BadMains.IntMain.class.getName(), "does not return void"},
        };
        for (String[] c : cases) {
            WinLauncher.LaunchFailure f = refusal(c[0]);
            assertEquals(WinLauncher.EXIT_NO_MAIN_METHOD, f.exitCode);
            assertContains(f.getMessage(), c[0]);
            assertContains(f.getMessage(), c[1]);
        }
    }

    @Test
    public void underTheNativeLauncherAFailedStartIsAnsweredInsteadOfExiting() {
        System.setProperty(LaunchInfo.MODULE_NAME_PROPERTY, "C:\\app\\app.exe");
        try {
            WinLauncher.main(fixed("com.example.Missing"));
            assertEquals(WinLauncher.EXIT_CLASS_NOT_FOUND, WinLauncher.startFailure());
            WinLauncher.main(fixed(BadMains.NoMain.class.getName()));
            assertEquals(WinLauncher.EXIT_NO_MAIN_METHOD, WinLauncher.startFailure());
            WinLauncher.main(fixed("testapps.RecordingApp"));
            assertEquals(0, WinLauncher.startFailure());
        } finally {
            System.clearProperty(LaunchInfo.MODULE_NAME_PROPERTY);
        }
    }

    @Test
    public void exitCodesAreDistinct() {
        List<Integer> codes = Arrays.asList(WinLauncher.EXIT_TOO_FEW_ARGUMENTS, WinLauncher.EXIT_CLASS_NOT_FOUND,
                WinLauncher.EXIT_CLASS_NOT_LOADABLE, WinLauncher.EXIT_NO_MAIN_METHOD, 0, 1, 83);
        assertEquals(codes.size(), (int) codes.stream().distinct().count());
    }

    // ---- in a separate VM, as the launcher runs it: exit codes and messages

    private static final class Run {
        int exitCode;
        String out;
        String err;
    }

    private static File runtimeJar() throws Exception {
        return new File(WinLauncher.class.getProtectionDomain().getCodeSource().getLocation().toURI());
    }

    private static Run launch(String classPath, String... args) throws Exception {
        List<String> command = new ArrayList<String>(Arrays.asList(
                System.getProperty("java.home") + File.separator + "bin" + File.separator + "java",
                "-Xshare:auto", "-XX:TieredStopAtLevel=1", "-cp", classPath, WinLauncher.class.getName()));
        command.addAll(Arrays.asList(args));
        File out = File.createTempFile("launch", ".out");
        File err = File.createTempFile("launch", ".err");
        try {
            Process p = new ProcessBuilder(command).redirectOutput(out).redirectError(err).start();
            if (!p.waitFor(20, TimeUnit.SECONDS)) {
                p.destroyForcibly();
                throw new AssertionError("launched VM did not end: " + command);
            }
            Run run = new Run();
            run.exitCode = p.exitValue();
            run.out = new String(Files.readAllBytes(out.toPath()), StandardCharsets.UTF_8);
            run.err = new String(Files.readAllBytes(err.toPath()), StandardCharsets.UTF_8);
            return run;
        } finally {
            out.delete();
            err.delete();
        }
    }

    private static void assertRefused(Run run, int exitCode, String... messageParts) {
        assertEquals(exitCode, run.exitCode);
        assertTrue(run.err.startsWith("zorvo: ") && run.err.trim().split("\r?\n").length == 1,
                "expected one line on standard error, got <" + run.err + ">");
        for (String part : messageParts) {
            assertContains(run.err, part);
        }
        assertEquals("", run.out);
    }

    @Test(timeoutMillis = 30000)
    public void launchedApplicationRunsAndEndsWithZero() throws Exception {
        Run run = launch(System.getProperty("java.class.path"),
                "true", "testapps.PrintingApp", "C:\\a.txt", "", "true", "two words", "", "last");
        assertEquals("", run.err);
        assertEquals(0, run.exitCode);
        assertEquals(String.join(System.lineSeparator(), "[two words]", "[]", "[last]",
                "windowed=true file1=C:\\a.txt file2=null flag=true", ""), run.out);
    }

    @Test(timeoutMillis = 30000)
    public void tooFewArgumentsExitsWithItsCode() throws Exception {
        assertRefused(launch(System.getProperty("java.class.path"), "false", "testapps.PrintingApp", "", ""),
                WinLauncher.EXIT_TOO_FEW_ARGUMENTS, "expected at least 5 launcher arguments, got 4");
    }

    @Test(timeoutMillis = 30000)
    public void missingMainClassExitsWithItsCode() throws Exception {
        assertRefused(launch(System.getProperty("java.class.path"), fixed("com.example.Missing")),
                WinLauncher.EXIT_CLASS_NOT_FOUND, "main class com.example.Missing not found");
    }

    @Test(timeoutMillis = 30000)
    public void missingMainMethodExitsWithItsCode() throws Exception {
        String name = BadMains.InstanceMain.class.getName();
        assertRefused(launch(System.getProperty("java.class.path"), fixed(name)),
                WinLauncher.EXIT_NO_MAIN_METHOD, name, "is not static");
    }

    @Test(timeoutMillis = 30000)
    public void classFileOfANewerJavaExitsAsNotLoadable() throws Exception {
        byte[] bytes = classBytes(RecordingApp.class);
        bytes[6] = 0; // major version 200: newer than any runtime that runs these tests
        bytes[7] = (byte) 200;
        File dir = Files.createTempDirectory("zorvo-classes").toFile();
        try {
            write(new File(dir, "testapps/RecordingApp.class"), bytes);
            assertRefused(launch(runtimeJar() + File.pathSeparator + dir, fixed("testapps.RecordingApp")),
                    WinLauncher.EXIT_CLASS_NOT_LOADABLE, "main class testapps.RecordingApp cannot be loaded",
                    "UnsupportedClassVersionError");
        } finally {
            delete(dir);
        }
    }

    @Test(timeoutMillis = 30000)
    public void missingLibraryOfTheMainClassExitsAsNotLoadable() throws Exception {
        File dir = Files.createTempDirectory("zorvo-classes").toFile();
        try {
            write(new File(dir, "testapps/NeedsLibrary.class"), classBytes(NeedsLibrary.class));
            assertRefused(launch(runtimeJar() + File.pathSeparator + dir, fixed("testapps.NeedsLibrary")),
                    WinLauncher.EXIT_CLASS_NOT_LOADABLE, "main class testapps.NeedsLibrary cannot be loaded",
                    "NoClassDefFoundError", "NeedsLibrary$Library");
        } finally {
            delete(dir);
        }
    }

    private static byte[] classBytes(Class<?> cls) throws IOException {
        String resource = cls.getName().substring(cls.getName().lastIndexOf('.') + 1) + ".class";
        try (InputStream in = cls.getResourceAsStream(resource)) {
            ByteArrayOutputStream buffer = new ByteArrayOutputStream();
            byte[] chunk = new byte[8192];
            for (int n; (n = in.read(chunk)) > 0; ) {
                buffer.write(chunk, 0, n);
            }
            return buffer.toByteArray();
        }
    }

    private static void write(File file, byte[] bytes) throws IOException {
        file.getParentFile().mkdirs();
        try (OutputStream out = new FileOutputStream(file)) {
            out.write(bytes);
        }
    }

    private static void delete(File file) {
        File[] children = file.listFiles();
        if (children != null) {
            for (File child : children) {
                delete(child);
            }
        }
        file.delete();
    }
}
