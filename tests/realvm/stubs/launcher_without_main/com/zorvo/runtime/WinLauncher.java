package com.zorvo.runtime;

/** A launcher class without main (a runtime library that does not match the launcher). */
public final class WinLauncher {
    public static void start(String[] args) {
    }
}
