package com.zorvo.maven;

import com.zorvo.stamp.ConfigLine;
import com.zorvo.stamp.LauncherStamper;
import com.zorvo.stamp.NearestName;
import com.zorvo.stamp.StampException;
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.TreeSet;
import org.apache.maven.model.Plugin;
import org.apache.maven.model.PluginExecution;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecution;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;
import org.codehaus.plexus.util.xml.Xpp3Dom;

/**
 * Makes the project's Windows launcher: a copy of the generic zorvo
 * launcher that this plugin carries, stamped with the application's
 * configuration, attached to the project as its {@code exe} artifact. The
 * configuration comes from a file in zorvo-build's format, from the
 * parameters below, or both (a parameter replaces the file's lines of the
 * same setting). {@code zorvo-runtime.jar}, which the launcher starts the
 * application through, is written beside the launcher.
 */
@Mojo(name = "launcher", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true)
public class LauncherMojo extends AbstractMojo {
    /** A configuration file in zorvo-build's format; its relative paths are relative to its folder. */
    @Parameter(property = "zorvo.configFile")
    File configFile;

    /** Which generic launcher: x64 (64-bit, the default) or x86 (32-bit). */
    @Parameter(property = "zorvo.arch", defaultValue = "x64")
    String arch;

    /** The launcher made. */
    @Parameter(property = "zorvo.outputFile", defaultValue = "${project.build.directory}/${project.build.finalName}.exe")
    File outputFile;

    /** Whether zorvo-runtime.jar is written beside the launcher (its class path names it). */
    @Parameter(property = "zorvo.copyRuntimeJar", defaultValue = "true")
    boolean copyRuntimeJar;

    /** Turns the goal off. */
    @Parameter(property = "zorvo.skip", defaultValue = "false")
    boolean skip;

    /** The application's main class (main-class). */
    @Parameter
    String mainClass;

    /** The application's name (app-name). */
    @Parameter
    String appName;

    /**
     * The class path, one item each, as the launcher reads them (class-path):
     * a type letter and a flag in front of the path, e.g. A1lib\app.jar.
     * Default: zorvo-runtime.jar and the project's jar, beside the launcher.
     */
    @Parameter
    List<String> classPath;

    /** Options for the Java VM, split as a command line (vm-options). */
    @Parameter
    String vmOptions;

    /** Arguments the application gets before the user's (app-arguments). */
    @Parameter
    String appArguments;

    /** The oldest Java accepted (min-java-version), e.g. 17. */
    @Parameter
    String minJavaVersion;

    /** The newest Java accepted (max-java-version). */
    @Parameter
    String maxJavaVersion;

    /** Where to look for Java, one item each (jvm-search-sequence), e.g. Rjre, EJAVA_HOME, Y, S. */
    @Parameter
    List<String> jvmSearchSequence;

    /** The page shown when no suitable Java is found (download-url). */
    @Parameter
    String downloadUrl;

    /** The caption of the launcher's message boxes (msg-caption). */
    @Parameter
    String msgCaption;

    /** 1: a second start hands its arguments to the running instance (single-instance). */
    @Parameter
    String singleInstance;

    /** windows (the default) or console (subsystem). */
    @Parameter
    String subsystem;

    /** The executable's icon, an .ico file (icon). */
    @Parameter
    File icon;

    /** The splash picture, a PNG or BMP (splash-image); show-splash = 1 shows it. */
    @Parameter
    File splashImage;

    /** Files embedded in the launcher, extracted at each start (embed). */
    @Parameter
    List<String> embeds;

    /** The version resource's file version; default: from the project's version. */
    @Parameter
    String fileVersion;

    /** The version resource's product version; default: the file version. */
    @Parameter
    String productVersion;

    /** The version resource's product name; default: the project's name. */
    @Parameter
    String productName;

    /** The version resource's company; default: the project's organisation. */
    @Parameter
    String companyName;

    /** The version resource's description (file-description). */
    @Parameter
    String fileDescription;

    /** The version resource's copyright. */
    @Parameter
    String copyright;

    /** What the manifest asks for: asInvoker, highestAvailable or requireAdministrator. */
    @Parameter
    String executionLevel;

    /** The manifest's DPI awareness: unaware, system or per-monitor. */
    @Parameter
    String dpiAware;

    /** Any further lines of zorvo-build's format ("name = value"), e.g. splash-status-text = Starting ... */
    @Parameter
    List<String> settings;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    MavenProject project;

    @Parameter(defaultValue = "${mojoExecution}", readonly = true, required = true)
    MojoExecution execution;

    @Component
    MavenProjectHelper projectHelper;

    @Override
    public void execute() throws MojoFailureException {
        checkParameterNames();
        if (skip) {
            getLog().info("zorvo: skipped");
            return;
        }
        LauncherStamper.Arch launcherArch = archOf(arch);
        List<ConfigLine> lines = pomSettings().merge(fileLines());
        if (!LauncherSettings.sets(lines, "main-class")) {
            throw new MojoFailureException("zorvo: no main class: set POM parameter <mainClass>"
                    + (configFile == null ? "" : " or main-class in " + configFile));
        }
        Path out = outputFile.toPath();
        try {
            LauncherStamper.stamp(launcherArch.genericLauncher(), "the plugin's " + arch + " launcher", lines, out);
            if (copyRuntimeJar) {
                Path beside = out.toAbsolutePath().getParent().resolve(LauncherStamper.RUNTIME_JAR);
                Files.write(beside, LauncherStamper.carried(LauncherStamper.RUNTIME_JAR));
            }
        } catch (StampException e) {
            throw new MojoFailureException(e.getMessage());
        } catch (IOException e) {
            throw new MojoFailureException("zorvo: " + e.getMessage());
        }
        getLog().info("zorvo: made " + out + " (" + (launcherArch == LauncherStamper.Arch.X64 ? "64" : "32") + "-bit)");
        projectHelper.attachArtifact(project, "exe", outputFile);
    }

    /** The POM's values and the project's defaults, as configuration lines. */
    private LauncherSettings pomSettings() {
        LauncherSettings s = new LauncherSettings(project.getBasedir().toPath());
        s.set("mainClass", "main-class", mainClass);
        s.set("appName", "app-name", appName);
        s.setList("classPath", "class-path", classPath, ";");
        s.set("vmOptions", "vm-options", vmOptions);
        s.set("appArguments", "app-arguments", appArguments);
        s.set("minJavaVersion", "min-java-version", minJavaVersion);
        s.set("maxJavaVersion", "max-java-version", maxJavaVersion);
        s.setList("jvmSearchSequence", "jvm-search-sequence", jvmSearchSequence, ";");
        s.set("downloadUrl", "download-url", downloadUrl);
        s.set("msgCaption", "msg-caption", msgCaption);
        s.set("singleInstance", "single-instance", singleInstance);
        s.set("subsystem", "subsystem", subsystem);
        s.set("icon", "icon", icon == null ? null : icon.getPath());
        s.set("splashImage", "splash-image", splashImage == null ? null : splashImage.getPath());
        s.setEach("embeds", "embed", embeds);
        s.set("fileVersion", "file-version", fileVersion);
        s.set("productVersion", "product-version", productVersion);
        s.set("productName", "product-name", productName);
        s.set("companyName", "company-name", companyName);
        s.set("fileDescription", "file-description", fileDescription);
        s.set("copyright", "copyright", copyright);
        s.set("executionLevel", "execution-level", executionLevel);
        s.set("dpiAware", "dpi-aware", dpiAware);
        s.setLines("settings", settings);

        String name = project.getName() != null ? project.getName() : project.getArtifactId();
        s.byDefault("product-name", name, "${project.name}");
        s.byDefault("file-version", LauncherSettings.fileVersionOf(project.getVersion()), "${project.version}");
        if (project.getOrganization() != null) {
            s.byDefault("company-name", project.getOrganization().getName(), "${project.organization.name}");
        }
        s.byDefault("class-path", "A1" + LauncherStamper.RUNTIME_JAR + ";A1" + project.getBuild().getFinalName() + ".jar",
                "the runtime and the project's jar");
        return s;
    }

    private List<ConfigLine> fileLines() throws MojoFailureException {
        if (configFile == null) return new ArrayList<>();
        try {
            Path file = configFile.toPath();
            return ConfigLine.ofFile(configFile.getPath(), Files.readAllBytes(file),
                    file.toAbsolutePath().getParent());
        } catch (IOException e) {
            throw new MojoFailureException("POM parameter <configFile>: cannot read " + configFile + ": " + e);
        }
    }

    private static LauncherStamper.Arch archOf(String arch) throws MojoFailureException {
        switch (arch.toLowerCase(Locale.ROOT)) {
            case "x64":
            case "amd64":
            case "x86_64":
                return LauncherStamper.Arch.X64;
            case "x86":
            case "i386":
            case "i686":
                return LauncherStamper.Arch.X86;
            default:
                throw new MojoFailureException("POM parameter <arch> is x64 or x86, not '" + arch + "'");
        }
    }

    /**
     * Maven passes over a parameter it does not know (and leaves it out of the
     * execution's configuration), so a misspelt one would silently change
     * nothing: look at what the POM itself gives the plugin and this
     * execution, and refuse a name the goal does not have, offering the
     * nearest one.
     */
    private void checkParameterNames() throws MojoFailureException {
        Plugin plugin = project.getBuild().getPluginsAsMap().get(execution.getMojoDescriptor().getPluginDescriptor()
                .getPluginLookupKey());
        if (plugin == null) return;
        List<Object> given = new ArrayList<>();
        given.add(plugin.getConfiguration());
        PluginExecution ours = plugin.getExecutionsAsMap().get(execution.getExecutionId());
        if (ours != null) given.add(ours.getConfiguration());
        Set<String> known = new TreeSet<>(execution.getMojoDescriptor().getParameterMap().keySet());
        for (Object configuration : given) {
            if (!(configuration instanceof Xpp3Dom)) continue;
            for (Xpp3Dom child : ((Xpp3Dom) configuration).getChildren()) {
                if (known.contains(child.getName())) continue;
                String nearest = NearestName.of(child.getName(), known);
                throw new MojoFailureException("POM parameter <" + child.getName() + "> is no parameter of "
                        + "zorvo:launcher" + (nearest.isEmpty() ? "" : "; did you mean <" + nearest + ">?"));
            }
        }
    }
}
