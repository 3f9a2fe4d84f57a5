package com.quenbrook.runtime;

import static testkit.Assert.assertContains;
import static testkit.Assert.assertEquals;
import static testkit.Assert.assertFalse;
import static testkit.Assert.assertSame;
import static testkit.Assert.assertThrows;
import static testkit.Assert.assertTrue;

import java.io.FileNotFoundException;
import java.util.concurrent.atomic.AtomicInteger;

import testkit.Test;

public class FirstRunTest {

    /** A hook class for the property: declines the start. */
    public static class DecliningHook implements FirstRun.Hook {
        static final AtomicInteger runs = new AtomicInteger();

        @Override
        public boolean run() {
            runs.incrementAndGet();
            return false;
        }
    }

    /** Named by the property but not a hook. */
    public static class NotAHook {
    }

    public FirstRunTest() {
        FirstRun.setHook(null);
        System.clearProperty(FirstRun.HOOK_PROPERTY);
    }

    private static void withProperty(String value, Assert0 body) throws Exception {
        System.setProperty(FirstRun.HOOK_PROPERTY, value);
        try {
            body.run();
        } finally {
            System.clearProperty(FirstRun.HOOK_PROPERTY);
        }
    }

    private interface Assert0 {
        void run() throws Exception;
    }

    @Test
    public void withoutHookTheApplicationStarts() throws Exception {
        assertTrue(FirstRun.firstRun(), "no hook: start");
    }

    @Test
    public void hookDecides() throws Exception {
        AtomicInteger calls = new AtomicInteger();
        FirstRun.setHook(() -> calls.incrementAndGet() == 1);
        assertTrue(FirstRun.firstRun(), "hook answered true");
        assertFalse(FirstRun.firstRun(), "hook answered false");
        assertEquals(2, calls.get());
        FirstRun.setHook(null);
        assertTrue(FirstRun.firstRun(), "hook removed: start");
    }

    @Test
    public void exceptionOfTheHookPropagatesAsItself() {
        final FileNotFoundException failure = new FileNotFoundException("setup.cab");
        FirstRun.setHook(() -> {
            throw failure;
        });
        assertSame(failure, assertThrows(FileNotFoundException.class, FirstRun::firstRun));
    }

    @Test
    public void hookClassNamedByThePropertyDecides() throws Exception {
        int before = DecliningHook.runs.get();
        withProperty(" " + DecliningHook.class.getName() + " ", () -> {
            assertFalse(FirstRun.firstRun(), "declining hook from the property");
            assertEquals(before + 1, DecliningHook.runs.get());
        });
    }

    @Test
    public void hookSetInCodeTakesPrecedenceOverTheProperty() throws Exception {
        int before = DecliningHook.runs.get();
        FirstRun.setHook(() -> true);
        withProperty(DecliningHook.class.getName(), () -> {
            assertTrue(FirstRun.firstRun(), "hook set in code answered");
            assertEquals(before, DecliningHook.runs.get());
        });
    }

    @Test
    public void unusableHookClassIsReportedNotIgnored() throws Exception {
        withProperty("com.example.NoSuchHook", () -> {
            IllegalStateException e = assertThrows(IllegalStateException.class, FirstRun::firstRun);
            assertContains(e.getMessage(), "com.example.NoSuchHook cannot be loaded");
        });
        withProperty(NotAHook.class.getName(), () -> {
            IllegalStateException e = assertThrows(IllegalStateException.class, FirstRun::firstRun);
            assertContains(e.getMessage(), "does not implement");
        });
    }

    @Test
    public void emptyPropertyMeansNoHook() throws Exception {
        withProperty("", () -> assertTrue(FirstRun.firstRun(), "empty property: start"));
    }
}
