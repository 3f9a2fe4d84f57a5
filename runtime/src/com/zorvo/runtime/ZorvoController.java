package com.zorvo.runtime;

import java.util.concurrent.atomic.AtomicReference;

/**
 * Talks to the launcher's splash screen.
 *
 * <p>The application calls {@link #setStatusText} and {@link #closeSplash} from any thread. The
 * launcher's splash thread polls {@link #getAction} about every 100 ms and, after
 * {@link #ACTION_NEW_TEXT}, calls {@link #getText}.
 *
 * <ul>
 * <li>Several texts set between two polls: only the latest is shown.</li>
 * <li>A close wins over a pending text, and it is final: from the first close request on, every
 * poll answers {@link #ACTION_CLOSE_SPLASH}; later texts are never announced.</li>
 * </ul>
 * Without a splash screen nobody polls, and the calls have no effect.
 */
public final class ZorvoController {

    /** Poll answer: nothing new. */
    public static final int ACTION_NONE = 0;
    /** Poll answer: close the splash screen. */
    public static final int ACTION_CLOSE_SPLASH = 1;
    /** Poll answer: a new status text is available from {@link #getText}. */
    public static final int ACTION_NEW_TEXT = 2;

    private static volatile boolean closeRequested;
    /** The latest text not yet handed to the poller, or null. */
    private static final AtomicReference<String> pendingText = new AtomicReference<String>();

    private ZorvoController() {
    }

    /**
     * Shows the text in the splash screen's status line at the next poll, replacing any text not
     * yet shown. The splash shows characters up to U+00FF only; its text ends before the first
     * character beyond.
     *
     * @throws NullPointerException if text is null (use "" to clear the status line)
     */
    public static void setStatusText(String text) {
        if (text == null) {
            throw new NullPointerException("status text");
        }
        pendingText.set(text);
    }

    /** Closes the splash screen at the next poll. Calling it again does nothing more. */
    public static void closeSplash() {
        closeRequested = true;
    }

    /**
     * Polled by the launcher: {@link #ACTION_CLOSE_SPLASH} once a close was requested (always
     * from then on), else {@link #ACTION_NEW_TEXT} while a text is pending, else {@link #ACTION_NONE}.
     */
    public static int getAction() {
        if (closeRequested) {
            return ACTION_CLOSE_SPLASH;
        }
        return pendingText.get() != null ? ACTION_NEW_TEXT : ACTION_NONE;
    }

    /** Called by the launcher after {@link #ACTION_NEW_TEXT}: hands over the pending text, or null for no change. */
    public static String getText() {
        return pendingText.getAndSet(null);
    }

    /**
     * Called by the launcher on its main thread right after it created the VM, when it shows a
     * splash screen: the VM's shutdown (after the application's last non-daemon thread, or
     * {@code System.exit}) then first tells the launcher to stop polling, so that its splash
     * thread makes no more calls into a VM that is going away.
     */
    static void installShutdownHook() {
        Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
            @Override
            public void run() {
                try {
                    stopSplashPolling();
                } catch (UnsatisfiedLinkError e) {
                    // not started by the launcher: nobody polls
                }
            }
        }, "zorvo splash shutdown"));
    }

    /** Registered by the launcher; returns once its splash thread makes no more calls. */
    private static native void stopSplashPolling();

    /** Back to the initial state: no close request, no pending text. */
    static void reset() {
        closeRequested = false;
        pendingText.set(null);
    }
}
