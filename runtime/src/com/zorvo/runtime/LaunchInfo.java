package com.zorvo.runtime;

/**
 * What the native launcher handed over to this process, for the application to read.
 *
 * <p>The five fixed arguments are recorded by {@link WinLauncher#main} before the application's
 * main class is loaded, so they are available from its static initialisers on. The launcher's
 * system properties are read on each call. All methods are safe to call from any thread, also
 * when the application was not started through the launcher (then they report nothing).
 */
public final class LaunchInfo {

    /** Property: name of the instance semaphore; set only in single-instance mode. */
    public static final String SEMAPHORE_NAME_PROPERTY = "zorvo.semaphoreName";
    /** Property: full path of the launcher executable. */
    public static final String MODULE_NAME_PROPERTY = "zorvo.moduleName";
    /** Property: path of this process's communication file (arguments of later starts). */
    public static final String PROCESS_COMM_FILE_PROPERTY = "zorvo.processCommFile";
    /** Property: directory into which the launcher extracted its embedded files; empty when none. */
    public static final String TEMP_DIR_PROPERTY = "zorvo.tempDir";

    /** The five fixed arguments as handed over, or null when not started through the launcher. */
    private static volatile String[] fixedArguments;

    private LaunchInfo() {
    }

    /** Records the five fixed arguments (a copy is kept); null forgets them. */
    static void record(String[] fixed) {
        fixedArguments = fixed == null ? null : fixed.clone();
    }

    private static String fixed(int index) {
        String[] fixed = fixedArguments;
        return fixed == null ? null : fixed[index];
    }

    private static String nonEmpty(String value) {
        return value == null || value.isEmpty() ? null : value;
    }

    /** True when this process was started through the launcher class. */
    public static boolean isLaunched() {
        return fixedArguments != null;
    }

    /** First fixed argument: true when the launcher is configured as a windowed (GUI) application. */
    public static boolean isWindowed() {
        return Boolean.parseBoolean(fixed(0));
    }

    /** Second fixed argument: the application's main class name as configured, or null. */
    public static String getMainClassName() {
        return fixed(1);
    }

    /** Third fixed argument: the first configured file path (absolute), or null when none was handed over. */
    public static String getFile1() {
        return nonEmpty(fixed(2));
    }

    /** Fourth fixed argument: the second configured file path (absolute), or null when none was handed over. */
    public static String getFile2() {
        return nonEmpty(fixed(3));
    }

    /** Fifth fixed argument: the configured flag; false when not started through the launcher. */
    public static boolean getFifthFlag() {
        return Boolean.parseBoolean(fixed(4));
    }

    /** The instance semaphore's name in single-instance mode, else null. */
    public static String getSemaphoreName() {
        return nonEmpty(System.getProperty(SEMAPHORE_NAME_PROPERTY));
    }

    /** The launcher executable's full path, or null when not started through the launcher. */
    public static String getModuleName() {
        return nonEmpty(System.getProperty(MODULE_NAME_PROPERTY));
    }

    /**
     * The path of this process's communication file, or null. In single-instance mode a second
     * start of the same executable writes its command line into this file and ends.
     */
    public static String getProcessCommFile() {
        return nonEmpty(System.getProperty(PROCESS_COMM_FILE_PROPERTY));
    }

    /** The directory holding the files the launcher extracted for this run, or null when there is none. */
    public static String getTempDir() {
        return nonEmpty(System.getProperty(TEMP_DIR_PROPERTY));
    }
}
