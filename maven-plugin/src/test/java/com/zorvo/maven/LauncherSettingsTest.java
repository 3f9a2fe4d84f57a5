package com.zorvo.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.zorvo.stamp.ConfigLine;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class LauncherSettingsTest {
    private static List<String> texts(List<ConfigLine> lines) {
        List<String> out = new ArrayList<>();
        for (ConfigLine l : lines) out.add(l.settingKey().isEmpty() ? "" : l.name());
        return out;
    }

    @Test
    void thePomReplacesTheFilesLinesAndDefaultsFillTheRest() {
        List<ConfigLine> file = ConfigLine.ofFile("app.conf", ("# comment\n"
                + "main-class = a.File\n"
                + "122 = a.AgainById\n"
                + "+0122 = a.AgainBySignedId\n"
                + "embed = a.jar\n"
                + "embed = b.jar\n"
                + "app-name = Kept\n"
                + "product-name = From the file\n").getBytes(StandardCharsets.UTF_8), Path.of("."));
        LauncherSettings s = new LauncherSettings(Path.of("."));
        s.set("mainClass", "main-class", "a.Pom");
        s.set("appArguments", "app-arguments", null);
        s.setEach("embeds", "embed", List.of("c.jar"));
        s.setLines("settings", List.of(" msg-caption = Caption "));
        s.byDefault("product-name", "From the project", "${project.name}");
        s.byDefault("file-version", "1.4.0.0", "${project.version}");
        s.byDefault("company-name", "", "${project.organization.name}");
        List<ConfigLine> merged = s.merge(file);
        // Every line of main-class goes (by name and by id, however written), as do both embeds; the file's product name stays.
        assertEquals(List.of("", "app-name", "product-name", "main-class", "embed", "msg-caption", "file-version"),
                texts(merged));
    }

    @ParameterizedTest
    @CsvSource(nullValues = "null", value = {
        "1.4.0-SNAPSHOT, 1.4.0.0",
        "2, 2.0.0.0",
        "2024.12.1.7.9, 2024.12.1.7",
        "1.0-rc-2, 1.0.0.0",
        "065535.1, 65535.1.0.0",
        "65536.0, null",
        "v1.2, null",
        "'', null",
    })
    void aMavenVersionBecomesAFileVersion(String maven, String file) {
        assertEquals(file, LauncherSettings.fileVersionOf(maven));
    }
}
