package com.quenbrook.runtime;

/** A first-run class without firstRun(). */
public final class FirstRun {
    public static boolean check() {
        return true;
    }
}
