package com.zorvo.runtime;

import static testkit.Assert.assertEquals;
import static testkit.Assert.assertFalse;
import static testkit.Assert.assertNull;
import static testkit.Assert.assertThrows;
import static testkit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Properties;

import testkit.Test;

public class LaunchInfoTest {

    private interface Body {
        void run() throws Exception;
    }

    /** Runs the body with the launcher's properties set as given (null: absent), then restores them. */
    private static void withProperties(String semaphore, String module, String commFile, String tempDir, Body body)
            throws Exception {
        Properties saved = (Properties) System.getProperties().clone();
        String[][] values = {
            {LaunchInfo.SEMAPHORE_NAME_PROPERTY, semaphore}, {LaunchInfo.MODULE_NAME_PROPERTY, module},
            {LaunchInfo.PROCESS_COMM_FILE_PROPERTY, commFile}, {LaunchInfo.TEMP_DIR_PROPERTY, tempDir},
        };
        try {
            for (String[] v : values) {
                if (v[1] == null) {
                    System.clearProperty(v[0]);
                } else {
                    System.setProperty(v[0], v[1]);
                }
            }
            body.run();
        } finally {
            System.setProperties(saved);
            HandOvers.reset();
        }
    }

    @Test
    public void launcherPropertiesAreReported() throws Exception {
        withProperties("Global\\zrv_sem", "C:\\Apps\\My App.exe", "C:\\Temp\\zrv_p4242.tmp", "C:\\Temp\\zrv1a2b", () -> {
            assertEquals("Global\\zrv_sem", LaunchInfo.getSemaphoreName());
            assertEquals("C:\\Apps\\My App.exe", LaunchInfo.getModuleName());
            assertEquals("C:\\Temp\\zrv_p4242.tmp", LaunchInfo.getProcessCommFile());
            assertEquals("C:\\Temp\\zrv1a2b", LaunchInfo.getTempDir());
        });
    }

    @Test
    public void absentOrEmptyPropertiesAreNull() throws Exception {
        withProperties(null, "C:\\Apps\\app.exe", "C:\\Temp\\zrv_p1.tmp", "", () -> {
            assertNull(LaunchInfo.getSemaphoreName());
            assertNull(LaunchInfo.getTempDir());
            assertEquals("C:\\Apps\\app.exe", LaunchInfo.getModuleName());
        });
        withProperties(null, null, null, null, () -> {
            assertNull(LaunchInfo.getModuleName());
            assertNull(LaunchInfo.getProcessCommFile());
        });
    }

    /** One bracketed field of a case line, from {@code at[0]}; null when there is none. */
    private static String field(String line, int[] at) {
        while (at[0] < line.length() && line.charAt(at[0]) == ' ') {
            at[0]++;
        }
        if (at[0] >= line.length() || line.charAt(at[0]) != '[') {
            return null;
        }
        StringBuilder out = new StringBuilder();
        for (at[0]++; at[0] < line.length() && line.charAt(at[0]) != ']'; at[0]++) {
            char c = line.charAt(at[0]);
            if (c == '\\' && at[0] + 1 < line.length()) {
                c = line.charAt(++at[0]) == 't' ? '\t' : line.charAt(at[0]);
            }
            out.append(c);
        }
        at[0]++;
        return out.toString();
    }

    /** The cases of tests/data/split_cases.txt, which the launcher's splitter is tested with too. */
    @Test
    public void commandLinesSplitAsTheLauncherSplitsThem() throws Exception {
        Path cases = Paths.get(System.getProperty("zorvo.testData", "tests/data"), "split_cases.txt");
        int count = 0;
        for (String line : Files.readAllLines(cases, StandardCharsets.UTF_8)) {
            // Java splits command lines: the cases of configured texts alone are not its own.
            if (line.startsWith("configured ")) {
                continue;
            }
            if (line.startsWith("command-line ")) {
                line = line.substring("command-line ".length());
            }
            int[] at = {0};
            String input = field(line, at);
            if (input == null) {
                continue;
            }
            int arrow = line.indexOf("->", at[0]);
            if (line.indexOf("unbalanced", arrow) >= 0) {
                assertThrows(IllegalArgumentException.class, () -> LaunchInfo.splitCommandLine(input));
            } else {
                List<String> expected = new ArrayList<>();
                at[0] = arrow + 2;
                for (String arg = field(line, at); arg != null; arg = field(line, at)) {
                    expected.add(arg);
                }
                assertEquals(line + " " + expected, line + " " + Arrays.asList(LaunchInfo.splitCommandLine(input)));
            }
            count++;
        }
        assertTrue(count >= 20, "cases read: " + count);
    }

    /** Reads every hand-over the file holds now, through the API. */
    private static List<String> readAll() throws java.io.IOException {
        List<String> out = new ArrayList<>();
        for (String[] args = LaunchInfo.readHandedOverArguments(); args != null;
             args = LaunchInfo.readHandedOverArguments()) {
            out.add(Arrays.toString(args));
        }
        return out;
    }

    @Test
    public void handOversAreReadWholeInOrderAndOnce() throws Exception {
        Path file = Files.createTempFile("zrv_p", ".tmp");
        byte[] greek = "\"\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt\" \uD83D\uDE00 caf\u00e9".getBytes(StandardCharsets.UTF_8);
        ByteArrayOutputStream lines = new ByteArrayOutputStream();
        lines.write(greek);
        lines.write("\r\n\r\n\"two\u00c0\u008Dlines\" x\r\n".getBytes(StandardCharsets.ISO_8859_1));
        lines.write("bad \"quote\r\nlast without its end".getBytes(StandardCharsets.UTF_8));
        Files.write(file, lines.toByteArray());
        withProperties("sem", null, file.toString(), null, () -> {
            assertEquals(Arrays.asList("[\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt, \uD83D\uDE00, caf\u00e9]", "[]",
                                       "[two\rlines, x]", "[last, without, its, end]"), readAll());
            assertEquals(0L, Files.size(file));
            Files.write(file, "later\r\n".getBytes(StandardCharsets.UTF_8), StandardOpenOption.APPEND);
            assertEquals(Arrays.asList("[later]"), readAll());
            Files.delete(file);
            assertNull(LaunchInfo.readHandedOverArguments());
        });
        withProperties(null, null, null, null, () -> assertNull(LaunchInfo.readHandedOverArguments()));
    }

    @Test
    public void aFileMarkedClosedKeepsItsMarkAndIsReadNoMore() throws Exception {
        Path file = Files.createTempFile("zrv_p", ".tmp");
        byte[] marked = "before\r\n\u00c0\u0080\r\n".getBytes(StandardCharsets.ISO_8859_1);
        Files.write(file, marked);
        withProperties("sem", null, file.toString(), null, () -> {
            assertEquals(Arrays.asList("[before]"), readAll());
            assertEquals(Arrays.toString(marked), Arrays.toString(Files.readAllBytes(file)));
            Files.write(file, "after\r\n".getBytes(StandardCharsets.UTF_8), StandardOpenOption.APPEND);
            assertEquals(Arrays.asList(), readAll());
        });
        Files.delete(file);
    }

    @Test
    public void withoutTheLauncherNothingIsReported() {
        LaunchInfo.record(null);
        assertFalse(LaunchInfo.isLaunched(), "not launched");
        assertFalse(LaunchInfo.isWindowed(), "windowed");
        assertNull(LaunchInfo.getMainClassName());
        assertNull(LaunchInfo.getFile1());
        assertNull(LaunchInfo.getFile2());
        assertFalse(LaunchInfo.getFifthFlag(), "fifth flag");
    }

    @Test
    public void recordedArgumentsAreACopy() {
        String[] fixed = {"true", "a.Main", "C:\\f1", "C:\\f2", "true"};
        LaunchInfo.record(fixed);
        fixed[2] = "changed";
        assertTrue(LaunchInfo.isLaunched(), "launched");
        assertEquals("C:\\f1", LaunchInfo.getFile1());
        assertEquals("C:\\f2", LaunchInfo.getFile2());
    }
}
