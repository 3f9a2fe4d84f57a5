package com.zorvo.runtime;

import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Consumer;

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
    /** Property: path of this process's communication file (arguments of later starts, single-instance mode). */
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
     * The path of this process's communication file, or null. In single-instance mode each later
     * start of the same executable appends its command line to this file and ends; read them with
     * {@link #setHandOverListener} or {@link #readHandedOverArguments}, never from the file itself.
     */
    public static String getProcessCommFile() {
        return nonEmpty(System.getProperty(PROCESS_COMM_FILE_PROPERTY));
    }

    /**
     * The arguments of the oldest later start whose command line has not been read yet
     * (single-instance mode), split the way the launcher splits a command line, or null when there
     * is none. Each hand-over is given out once, here or to the listener, in the order of arrival.
     */
    public static String[] readHandedOverArguments() throws IOException {
        return HandOvers.next();
    }

    /**
     * Calls {@code listener} with the arguments of each later start of this executable
     * (single-instance mode), split the way the launcher splits a command line: once per
     * hand-over, in the order of arrival, also for those that arrived before the listener was
     * set. The calls come from one daemon thread ("zorvo-hand-over"), which the launcher wakes
     * when a hand-over arrives; it never keeps the VM from ending. An exception the listener
     * throws is printed and the next hand-over is delivered. Null removes the listener. Outside
     * single-instance mode (or when the application was not started through the launcher) no
     * hand-over ever arrives and no thread is started.
     */
    public static void setHandOverListener(Consumer<String[]> listener) {
        HandOvers.setListener(listener);
    }

    /**
     * Splits a command line as the launcher does: only the blank separates; an argument that
     * starts with a double or single quote runs to the next same quote (the quotes are dropped,
     * one blank right after is skipped); a double quote inside an argument starts a quoted part
     * that joins the text before it, while a single quote inside a word is an ordinary character
     * ({@code O'Brien.docx}).
     *
     * @throws IllegalArgumentException when a quote has no closing quote; the launcher refuses
     *     such a command line too
     */
    public static String[] splitCommandLine(String text) {
        List<String> out = new ArrayList<>();
        int pos = 0;
        int len = text.length();
        while (pos < len) {
            int blank = text.indexOf(' ', pos);
            if (blank == pos) {
                pos++;
                continue;
            }
            int dq = text.indexOf('"', pos);
            int sq = text.indexOf('\'', pos);
            int wordEnd = blank >= 0 ? blank : len;
            if (sq > pos && sq < wordEnd) {
                sq = -1;
            }
            if (blank >= 0 && (dq < 0 || blank < dq) && (sq < 0 || blank < sq)) {
                out.add(text.substring(pos, blank));
                pos = blank + 1;
                continue;
            }
            int quote = dq >= 0 && (sq < 0 || dq < sq) ? dq : sq;
            if (quote < 0) {
                out.add(text.substring(pos));
                break;
            }
            int close = text.indexOf(text.charAt(quote), quote + 1);
            if (close < 0) {
                throw new IllegalArgumentException("unbalanced quote at position " + quote + ": " + text);
            }
            out.add(text.substring(pos, quote) + text.substring(quote + 1, close));
            pos = close + 1;
            if (pos < len && text.charAt(pos) == ' ') {
                pos++;
            }
        }
        return out.toArray(new String[0]);
    }

    /** The directory holding the files the launcher extracted for this run, or null when there is none. */
    public static String getTempDir() {
        return nonEmpty(System.getProperty(TEMP_DIR_PROPERTY));
    }
}
