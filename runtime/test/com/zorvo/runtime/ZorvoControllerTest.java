package com.zorvo.runtime;

import static testkit.Assert.assertEquals;
import static testkit.Assert.assertNull;
import static testkit.Assert.assertThrows;
import static testkit.Assert.assertTrue;
import static testkit.Assert.fail;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;

import testkit.Test;

/** The answers are checked as plain numbers: they are what the launcher's splash thread expects. */
public class ZorvoControllerTest {

    public ZorvoControllerTest() {
        ZorvoController.reset();
    }

    @Test
    public void initiallyNothingToDo() {
        assertEquals(0, ZorvoController.getAction());
        assertNull(ZorvoController.getText());
    }

    @Test
    public void textIsAnnouncedUntilFetchedThenHandedOverOnce() {
        ZorvoController.setStatusText("Loading modules");
        assertEquals(2, ZorvoController.getAction());
        assertEquals(2, ZorvoController.getAction());
        assertEquals("Loading modules", ZorvoController.getText());
        assertEquals(0, ZorvoController.getAction());
        assertNull(ZorvoController.getText());
    }

    @Test
    public void latestOfSeveralTextsWins() {
        ZorvoController.setStatusText("one");
        ZorvoController.setStatusText("two");
        ZorvoController.setStatusText("three");
        assertEquals(2, ZorvoController.getAction());
        assertEquals("three", ZorvoController.getText());
        assertEquals(0, ZorvoController.getAction());
    }

    @Test
    public void emptyTextClearsTheLineAndNullIsRefused() {
        ZorvoController.setStatusText("");
        assertThrows(NullPointerException.class, () -> ZorvoController.setStatusText(null));
        assertEquals(2, ZorvoController.getAction());
        assertEquals("", ZorvoController.getText());
    }

    @Test
    public void closeWinsOverAPendingText() {
        ZorvoController.setStatusText("almost there");
        ZorvoController.closeSplash();
        assertEquals(1, ZorvoController.getAction());
    }

    @Test
    public void closeIsFinalEvenWhenTextsFollow() {
        ZorvoController.closeSplash();
        assertEquals(1, ZorvoController.getAction());
        ZorvoController.setStatusText("late text");
        assertEquals(1, ZorvoController.getAction());
        ZorvoController.closeSplash();
        assertEquals(1, ZorvoController.getAction());
    }

    private static Thread setter(final int id, final int count, final CountDownLatch start, final AtomicBoolean stop,
            final AtomicLong sets) {
        Thread t = new Thread(() -> {
            try {
                start.await();
            } catch (InterruptedException e) {
                return;
            }
            for (int i = 0; i < count && !stop.get(); i++) {
                ZorvoController.setStatusText(id + ":" + i);
                sets.incrementAndGet();
            }
        });
        t.start();
        return t;
    }

    private static boolean anyAlive(List<Thread> threads) {
        for (Thread t : threads) {
            if (t.isAlive()) {
                return true;
            }
        }
        return false;
    }

    /**
     * Many threads set texts while this thread polls as the splash does: every announced text is
     * handed over, no thread's texts arrive out of order, and the last text set is not lost.
     */
    @Test(timeoutMillis = 20000)
    public void concurrentTextsReachThePollerInOrderAndTheLastIsKept() throws Exception {
        final int threads = 8;
        final int perThread = 20000;
        CountDownLatch start = new CountDownLatch(1);
        AtomicBoolean stop = new AtomicBoolean();
        List<Thread> setters = new ArrayList<Thread>();
        for (int id = 0; id < threads; id++) {
            setters.add(setter(id, perThread, start, stop, new AtomicLong()));
        }
        int[] lastSeen = new int[threads];
        Arrays.fill(lastSeen, -1);
        String lastText = null;
        int delivered = 0;
        start.countDown();
        try {
            boolean settersDone = false;
            while (true) {
                settersDone = settersDone || !anyAlive(setters);
                int action = ZorvoController.getAction();
                if (action == 2) {
                    String text = ZorvoController.getText();
                    if (text == null) {
                        fail("action 2 but no text");
                    }
                    String[] parts = text.split(":");
                    int id = Integer.parseInt(parts[0]);
                    int seq = Integer.parseInt(parts[1]);
                    assertTrue(seq > lastSeen[id], "text " + text + " after " + id + ":" + lastSeen[id]);
                    lastSeen[id] = seq;
                    lastText = text;
                    delivered++;
                } else if (action != 0) {
                    fail("unexpected action " + action);
                } else if (settersDone) {
                    break;
                }
            }
        } finally {
            stop.set(true);
            for (Thread t : setters) {
                t.join();
            }
        }
        assertTrue(delivered > 0, "nothing delivered");
        assertTrue(lastText.endsWith(":" + (perThread - 1)), "last text delivered was " + lastText);
        assertNull(ZorvoController.getText());
    }

    /** A close requested while other threads keep setting texts is seen, and every later poll answers 1. */
    @Test(timeoutMillis = 20000)
    public void closeAmidConcurrentTextsIsNeverLost() throws Exception {
        for (int round = 0; round < 5; round++) {
            ZorvoController.reset();
            CountDownLatch start = new CountDownLatch(1);
            AtomicBoolean stop = new AtomicBoolean();
            AtomicLong sets = new AtomicLong();
            List<Thread> setters = new ArrayList<Thread>();
            for (int id = 0; id < 4; id++) {
                setters.add(setter(id, Integer.MAX_VALUE, start, stop, sets));
            }
            start.countDown();
            while (sets.get() < 1000) {
                Thread.yield();
            }
            ZorvoController.closeSplash();
            long setsAtClose = sets.get();
            try {
                assertEquals(1, ZorvoController.getAction());
                // poll on while the setters go on setting texts after the close
                for (int i = 0; i < 20000 || sets.get() < setsAtClose + 1000; i++) {
                    int action = ZorvoController.getAction();
                    if (action != 1) {
                        fail("poll " + i + " after the close answered " + action);
                    }
                }
            } finally {
                stop.set(true);
                for (Thread t : setters) {
                    t.join();
                }
            }
        }
    }
}
