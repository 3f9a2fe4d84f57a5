package com.zorvo.runtime;

/**
 * A controller whose calls throw now and then: getAction throws on its 2nd call, getText on its
 * first; the 4th action announces a text, the 6th closes.
 */
public final class ZorvoController {
    private static int actions;
    private static int texts;

    public static synchronized int getAction() {
        actions++;
        if (actions == 2) {
            throw new IllegalStateException("getAction failed");
        }
        if (actions == 3 || actions == 4) {
            return 2;
        }
        return actions >= 6 ? 1 : 0;
    }

    public static synchronized String getText() {
        if (++texts == 1) {
            throw new IllegalStateException("getText failed");
        }
        return "after";
    }
}
