package com.zorvo.stamp;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;

/** What the plugin carries and knows agrees with the build tool it stands in for. */
class TablesMatchBuildToolTest {
    private static String run(String... args) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(StampMatchesBuildToolTest.TOOL.toString()));
        command.addAll(List.of(args));
        Process p = new ProcessBuilder(command).redirectErrorStream(true).start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, p.waitFor(), out);
        return out;
    }

    @Test
    void theDirectiveTableIsTheBuildTools() throws Exception {
        // The reference's table rows from the first directive on, as many as the plugin has.
        List<String> reference = List.of(run("--reference").split("\n"));
        int first = reference.indexOf(ResourceDirectives.referenceRows().get(0));
        assertTrue(first >= 0, "the reference lists no `icon` row");
        List<String> rows = reference.subList(first, first + ResourceDirectives.ROWS.size());
        assertEquals(ResourceDirectives.referenceRows(), rows);
        int after = first + rows.size();
        assertTrue(after == reference.size() || !reference.get(after).startsWith("| `"),
                "the build tool has more directives");
    }

    @Test
    void theVersionIsTheReleases() throws Exception {
        String release = Files.readString(StampMatchesBuildToolTest.SOURCE.resolve("VERSION")).strip();
        assertEquals(release, System.getProperty("zorvo.pluginVersion"));
        assertEquals("zorvo-build " + release, run("--version").strip());
    }

    /** The jar's content is target/classes: its only native programs are the two generic launchers. */
    @Test
    void theOnlyNativeProgramsAreTheGenericLaunchers() throws Exception {
        Path classes = Path.of("target/classes");
        List<String> natives = new ArrayList<>();
        try (Stream<Path> files = Files.walk(classes)) {
            for (Path f : (Iterable<Path>) files.filter(Files::isRegularFile)::iterator) {
                byte[] head = new byte[4];
                try (var in = Files.newInputStream(f)) {
                    in.readNBytes(head, 0, 4);
                }
                boolean pe = head[0] == 'M' && head[1] == 'Z';
                boolean elf = head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
                boolean machO = (head[0] & 0xFF) == 0xCF && (head[1] & 0xFF) == 0xFA && (head[2] & 0xFF) == 0xED;
                if (pe || elf || machO) natives.add(classes.relativize(f).toString());
            }
        }
        natives.sort(null);
        assertEquals(List.of("com/zorvo/stamp/win32/launcher.exe", "com/zorvo/stamp/win64/launcher.exe"), natives);
    }

    /** The goal stamps in Java: no source of the plugin starts a process or loads a native library. */
    @Test
    void noCodeStartsAProcess() throws Exception {
        try (Stream<Path> files = Files.walk(Path.of("src/main/java"))) {
            for (Path f : (Iterable<Path>) files.filter(p -> p.toString().endsWith(".java"))::iterator) {
                String code = Files.readString(f);
                for (String call : List.of("ProcessBuilder", "Runtime.getRuntime", "System.load", "ProcessHandle")) {
                    assertTrue(!code.contains(call), f + " uses " + call);
                }
            }
        }
    }
}
