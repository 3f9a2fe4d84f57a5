package com.zorvo.stamp;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The plugin stamps what zorvo-build stamps: for each configuration of the
 * corpus, and on both launchers, either the same bytes or the same refusal.
 */
class StampMatchesBuildToolTest {
    static final Path SOURCE = Path.of(System.getProperty("zorvo.source", "..")).toAbsolutePath().normalize();
    static final Path TOOL = Path.of(System.getProperty("zorvo.buildTool", "../build/host/zorvo-build"));
    static final Path DATA = SOURCE.resolve("tests/data/stamp");

    @TempDir
    static Path temp;

    /** The corpus's cases of lines.txt, each behind a class path line. */
    static Stream<Arguments> lineCases() throws IOException {
        List<Arguments> cases = new ArrayList<>();
        String data = Bytes.text(Files.readAllBytes(DATA.resolve("lines.txt")));
        for (String line : data.split("\n")) {
            if (line.isEmpty() || line.startsWith("#")) continue;
            String config = "class-path = A1app.jar\n" + line.replace("<NL>", "\n").replace("%DATA%", DATA.toString())
                    + "\n";
            for (LauncherStamper.Arch arch : LauncherStamper.Arch.values()) cases.add(Arguments.of(line, config, arch));
        }
        return cases.stream();
    }

    @ParameterizedTest(name = "{2}: {0}")
    @MethodSource("lineCases")
    void eachLineStampsAsTheBuildToolDoes(String name, String config, LauncherStamper.Arch arch) throws Exception {
        Path conf = temp.resolve("app.conf");
        Files.write(conf, Bytes.of(config));
        assertSameResult(conf, arch);
    }

    /** Every picture of the corpus as a splash image; the sample applications as they ship. */
    static Stream<Arguments> fileCases() throws IOException {
        List<Arguments> cases = new ArrayList<>();
        for (LauncherStamper.Arch arch : LauncherStamper.Arch.values()) {
            cases.add(Arguments.of(SOURCE.resolve("demo/sample-app.conf"), arch));
            cases.add(Arguments.of(SOURCE.resolve("demo/hello/hello.conf"), arch));
            try (Stream<Path> files = Files.list(DATA)) {
                for (Path image : (Iterable<Path>) files.sorted()::iterator) {
                    String file = image.getFileName().toString();
                    if (!file.endsWith(".png") && !file.endsWith(".bmp")) continue;
                    Path conf = temp.resolve(file + "-" + arch + ".conf");
                    Files.writeString(conf, "main-class = a.B\nclass-path = A1a.jar\nshow-splash = 1\nsplash-image = "
                            + image + "\n", StandardCharsets.UTF_8);
                    cases.add(Arguments.of(conf, arch));
                }
            }
        }
        return cases.stream();
    }

    @ParameterizedTest(name = "{1}: {0}")
    @MethodSource("fileCases")
    void eachConfigurationStampsAsTheBuildToolDoes(Path conf, LauncherStamper.Arch arch) throws Exception {
        assertSameResult(conf, arch);
    }

    /** Runs zorvo-build and the plugin's stamper on one configuration and compares what they did. */
    static void assertSameResult(Path conf, LauncherStamper.Arch arch) throws Exception {
        assertTrue(Files.isExecutable(TOOL), "build the project first (make): no " + TOOL);
        byte[] launcher = arch.genericLauncher();
        Path generic = temp.resolve(arch + "-launcher.exe");
        if (!Files.exists(generic)) Files.write(generic, launcher);
        Path byTool = temp.resolve("tool/App.exe");
        Path byPlugin = temp.resolve("plugin/App.exe");
        Files.deleteIfExists(byTool);
        Files.deleteIfExists(byPlugin);

        Process tool = new ProcessBuilder(TOOL.toString(), "--launcher", generic.toString(), "--config",
                conf.toString(), "--out", byTool.toString()).redirectOutput(ProcessBuilder.Redirect.DISCARD).start();
        ByteArrayOutputStream err = new ByteArrayOutputStream();
        tool.getErrorStream().transferTo(err);
        int toolExit = tool.waitFor();

        String pluginError = null;
        try {
            LauncherStamper.stamp(launcher, generic.toString(),
                    ConfigLine.ofFile(conf.toString(), Files.readAllBytes(conf), conf.getParent()), byPlugin);
        } catch (StampException e) {
            pluginError = e.getMessage();
        }
        String toolError = err.toString(StandardCharsets.UTF_8).strip();
        if (toolExit == 0) {
            assertEquals(null, pluginError, "zorvo-build stamped it; the plugin refused it");
            assertArrayEquals(Files.readAllBytes(byTool), Files.readAllBytes(byPlugin), "the launchers differ");
            assertTrue(Files.isExecutable(byPlugin), "the launcher is no program anyone may run");
        } else {
            assertEquals(toolError, pluginError);
        }
        // Nothing but the launcher is left: no temporary file beside it, and no launcher after a refusal.
        try (Stream<Path> left = Files.exists(byPlugin.getParent()) ? Files.list(byPlugin.getParent()) : Stream.empty()) {
            assertEquals(toolExit == 0 ? List.of(byPlugin) : List.of(), left.collect(Collectors.toList()));
        }
    }
}
