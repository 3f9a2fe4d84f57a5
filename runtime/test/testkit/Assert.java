package testkit;

import java.util.Arrays;
import java.util.Objects;

/** The few assertions the tests need; a failed one throws AssertionError. */
public final class Assert {

    /** Code under test that may throw. */
    public interface Action {
        void run() throws Throwable;
    }

    private Assert() {
    }

    public static void fail(String message) {
        throw new AssertionError(message);
    }

    public static void assertTrue(boolean condition, String message) {
        if (!condition) {
            fail(message);
        }
    }

    public static void assertFalse(boolean condition, String message) {
        assertTrue(!condition, message);
    }

    public static void assertEquals(Object expected, Object actual) {
        if (!Objects.equals(expected, actual)) {
            fail("expected <" + expected + "> but was <" + actual + ">");
        }
    }

    public static void assertNull(Object actual) {
        if (actual != null) {
            fail("expected null but was <" + actual + ">");
        }
    }

    public static void assertSame(Object expected, Object actual) {
        if (expected != actual) {
            fail("expected the same object as <" + expected + "> but was <" + actual + ">");
        }
    }

    public static void assertArrayEquals(Object[] expected, Object[] actual) {
        if (!Arrays.equals(expected, actual)) {
            fail("expected " + Arrays.toString(expected) + " but was " + Arrays.toString(actual));
        }
    }

    public static void assertContains(String haystack, String needle) {
        if (haystack == null || !haystack.contains(needle)) {
            fail("expected text containing <" + needle + "> but was <" + haystack + ">");
        }
    }

    /** Runs the action and returns what it threw, which must be of the given type. */
    public static <T extends Throwable> T assertThrows(Class<T> type, Action action) {
        try {
            action.run();
        } catch (Throwable t) {
            if (type.isInstance(t)) {
                return type.cast(t);
            }
            AssertionError error = new AssertionError("expected " + type.getName() + " but got " + t);
            error.initCause(t);
            throw error;
        }
        throw new AssertionError("expected " + type.getName() + " but nothing was thrown");
    }
}
