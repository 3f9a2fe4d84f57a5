package com.zorvo.runtime;

import static testkit.Assert.assertEquals;
import static testkit.Assert.assertFalse;
import static testkit.Assert.assertNull;
import static testkit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Properties;

import testkit.Test;

public class LaunchInfoTest {

    /** Runs the body with the launcher's properties set as given (null: absent), then restores them. */
    private static void withProperties(String semaphore, String module, String commFile, String tempDir, Runnable body) {
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
        }
    }

    @Test
    public void launcherPropertiesAreReported() {
        withProperties("Global\\zrv_sem", "C:\\Apps\\My App.exe", "C:\\Temp\\zrv_p4242.tmp", "C:\\Temp\\zrv1a2b", () -> {
            assertEquals("Global\\zrv_sem", LaunchInfo.getSemaphoreName());
            assertEquals("C:\\Apps\\My App.exe", LaunchInfo.getModuleName());
            assertEquals("C:\\Temp\\zrv_p4242.tmp", LaunchInfo.getProcessCommFile());
            assertEquals("C:\\Temp\\zrv1a2b", LaunchInfo.getTempDir());
        });
    }

    @Test
    public void absentOrEmptyPropertiesAreNull() {
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

    @Test
    public void commandLinesSplitAsTheLauncherSplitsThem() {
        String[][] cases = {
            {"a  b", "a", "b"},
            {"\"two words\" 'x y' z", "two words", "x y", "z"},
            {"-Dx=\"a b\"c", "-Dx=a b", "c"},
            {"'' \"\"", "", ""},
            {"tab\tstays", "tab\tstays"},
            {"open \"rest of it", "open", "rest of it"},
            {""},
        };
        for (String[] c : cases) {
            assertEquals(Arrays.asList(c).subList(1, c.length).toString(),
                         Arrays.asList(LaunchInfo.splitCommandLine(c[0])).toString());
        }
    }

    @Test
    public void handedOverArgumentsAreReadInUtf8Once() throws Exception {
        Path file = Files.createTempFile("zrv_p", ".tmp");
        String line = "\"\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt\" \uD83D\uDE00 caf\u00e9";
        Files.write(file, (line + "\r\n").getBytes(StandardCharsets.UTF_8));
        withProperties(null, null, file.toString(), null, () -> {
            try {
                assertEquals("[\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt, \uD83D\uDE00, caf\u00e9]",
                             Arrays.toString(LaunchInfo.readHandedOverArguments()));
                assertFalse(Files.exists(file), "the file is deleted once read");
                assertNull(LaunchInfo.readHandedOverArguments());
            } catch (java.io.IOException e) {
                throw new AssertionError(e);
            }
        });
        withProperties(null, null, null, null, () -> {
            try {
                assertNull(LaunchInfo.readHandedOverArguments());
            } catch (java.io.IOException e) {
                throw new AssertionError(e);
            }
        });
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
