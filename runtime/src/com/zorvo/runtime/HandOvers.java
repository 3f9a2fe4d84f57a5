package com.zorvo.runtime;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.charset.StandardCharsets;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Collection;
import java.util.List;
import java.util.function.Consumer;

/**
 * The hand-overs of later starts in single-instance mode: read from the process-communication
 * file, kept in the order of arrival, each given out exactly once, to {@link LaunchInfo#readHandedOverArguments}
 * or to the listener of {@link LaunchInfo#setHandOverListener}.
 *
 * <p>A later start appends its command line as one line (UTF-8, ending in CR LF; a CR or LF
 * inside it is written as the bytes C0 8D or C0 8A, which UTF-8 never holds) while it holds an
 * exclusive lock on the whole file. This side takes the same lock to read the file and empty
 * it, so a line is never read half-written, never read twice and never lost. After writing, the
 * later start signals an event of this process, on which the native {@link #waitForSignal} waits.
 *
 * <p>When the VM begins to shut down, a hook ends the hand-overs: the launcher marks the file
 * closed (a last line of the bytes C0 80), so that a later start no longer hands its arguments to
 * an application that is closing but waits for it to end and starts the application anew. From
 * then on nothing is read here, and a file found so marked is never emptied.
 */
final class HandOvers {

    /** How long one wait for the signal lasts before the file is looked at anyway. */
    static final int SIGNAL_WAIT_MS = 2000;
    /** Without the launcher's native wait, the file is looked at this often. */
    static final int POLL_MS = 250;
    private static final int CHUNK = 64 * 1024;

    private static final Object LOCK = new Object();
    /** Lines read from the file and not given out yet, oldest first. Guarded by LOCK. */
    private static final ArrayDeque<String> pending = new ArrayDeque<>();
    private static Consumer<String[]> listener;
    private static Thread deliverer;
    private static volatile boolean nativeWait = true;
    /** Set once hand-overs to this process have ended. Guarded by LOCK. */
    private static boolean closed;

    private HandOvers() {
    }

    /**
     * Waits at most {@code timeoutMs} for the next hand-over; true when one was signalled. Bound
     * by the launcher (RegisterNatives) in a first instance; unbound otherwise.
     */
    static native boolean waitForSignal(int timeoutMs);

    /**
     * Ends the hand-overs to this process under the file's lock; returns when later starts no
     * longer hand over to it. Bound by the launcher in a first instance; unbound otherwise.
     */
    private static native void stopHandOvers();

    /**
     * Called by the launcher on its main thread right after it created the VM, in a first
     * instance: the VM's shutdown (after the application's last non-daemon thread, or
     * {@code System.exit}) then first ends the hand-overs to this process.
     */
    static void installShutdownHook() {
        Runtime.getRuntime().addShutdownHook(new Thread(HandOvers::close, "zorvo hand-over shutdown"));
    }

    /** Ends the hand-overs: nothing more is read, and the launcher marks the file closed. */
    static void close() {
        synchronized (LOCK) {
            closed = true;
        }
        try {
            stopHandOvers();
        } catch (UnsatisfiedLinkError e) {
            // not started by the launcher: nobody hands over
        }
    }

    /** The oldest hand-over not given out yet, split, or null when there is none. */
    static String[] next() throws IOException {
        synchronized (LOCK) {
            if (pending.isEmpty()) {
                drain();
            }
            while (!pending.isEmpty()) {
                String line = pending.poll();
                try {
                    return LaunchInfo.splitCommandLine(line);
                } catch (IllegalArgumentException e) {
                    System.err.println("zorvo: a hand-over with an unbalanced quote is passed over: " + line);
                }
            }
            return null;
        }
    }

    /** Sets the listener (null removes it) and starts its thread when none runs. */
    static void setListener(Consumer<String[]> newListener) {
        synchronized (LOCK) {
            listener = newListener;
            if (newListener == null || deliverer != null || !receivesHandOvers()) {
                return;
            }
            deliverer = new Thread(HandOvers::deliver, "zorvo-hand-over");
            deliverer.setDaemon(true);
            deliverer.start();
        }
    }

    /** Only a first instance in single-instance mode is ever handed anything. */
    private static boolean receivesHandOvers() {
        return LaunchInfo.getSemaphoreName() != null && LaunchInfo.getProcessCommFile() != null;
    }

    /** The listener's thread: gives out every hand-over in order, then waits for the next. */
    private static void deliver() {
        for (;;) {
            Consumer<String[]> current;
            synchronized (LOCK) {
                current = listener;
                if (current == null) {
                    deliverer = null;
                    return;
                }
            }
            try {
                for (String[] arguments = next(); arguments != null; arguments = next()) {
                    callListener(current, arguments);
                }
            } catch (IOException e) {
                System.err.println("zorvo: the hand-over file cannot be read: " + e);
            }
            awaitSignal();
        }
    }

    private static void callListener(Consumer<String[]> current, String[] arguments) {
        try {
            current.accept(arguments);
        } catch (RuntimeException e) {
            // One failing call must not end the delivery of the others.
            e.printStackTrace();
        }
    }

    private static void awaitSignal() {
        if (nativeWait) {
            try {
                waitForSignal(SIGNAL_WAIT_MS);
                return;
            } catch (UnsatisfiedLinkError e) {
                nativeWait = false;
            }
        }
        try {
            Thread.sleep(POLL_MS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    /**
     * Moves every line of the file into {@code pending} and empties the file, under its lock. The
     * lines are taken only once the file is empty, so a failure never gives one out twice. A file
     * marked closed keeps its mark: its lines are taken, and nothing is read from it again.
     */
    private static void drain() throws IOException {
        String name = LaunchInfo.getProcessCommFile();
        if (name == null || closed) {
            return;
        }
        Path file = Paths.get(name);
        try (FileChannel channel = FileChannel.open(file, StandardOpenOption.READ, StandardOpenOption.WRITE)) {
            FileLock lock = channel.lock();
            try {
                List<String> read = new ArrayList<>();
                LineReader lines = new LineReader(read);
                ByteBuffer chunk = ByteBuffer.allocate(CHUNK);
                while (channel.read(chunk) > 0) {
                    chunk.flip();
                    lines.take(chunk);
                    chunk.clear();
                }
                lines.finish();
                if (lines.sawClosedMark()) {
                    // The file keeps its mark, and nothing is read from it again.
                    closed = true;
                } else {
                    channel.truncate(0);
                }
                pending.addAll(read);
            } finally {
                lock.release();
            }
        } catch (NoSuchFileException e) {
            // Nothing was ever handed over.
        }
    }

    /**
     * Splits the file's bytes into hand-overs; a last line without its end is taken whole too. The
     * line C0 80 that marks the file closed is no hand-over.
     */
    static final class LineReader {
        private final Collection<String> out;
        private final ByteArrayOutputStream line = new ByteArrayOutputStream();
        private boolean closedMark;

        LineReader(Collection<String> out) {
            this.out = out;
        }

        void take(ByteBuffer bytes) {
            while (bytes.hasRemaining()) {
                byte b = bytes.get();
                if (b == '\n') {
                    finish();
                } else {
                    line.write(b);
                }
            }
        }

        void finish() {
            byte[] raw = line.toByteArray();
            line.reset();
            if (raw.length == 0) {
                return;
            }
            int length = raw.length;
            if (raw[length - 1] == '\r') {
                length--;
            }
            if (length == 2 && (raw[0] & 0xFF) == 0xC0 && (raw[1] & 0xFF) == 0x80) {
                closedMark = true;
                return;
            }
            out.add(decode(raw, length));
        }

        boolean sawClosedMark() {
            return closedMark;
        }

        /** UTF-8, with C0 8D and C0 8A standing for CR and LF. */
        static String decode(byte[] raw, int length) {
            ByteArrayOutputStream plain = new ByteArrayOutputStream(length);
            for (int i = 0; i < length; i++) {
                if ((raw[i] & 0xFF) == 0xC0 && i + 1 < length && ((raw[i + 1] & 0xFF) == 0x8D || (raw[i + 1] & 0xFF) == 0x8A)) {
                    plain.write(raw[++i] & 0x7F);
                } else {
                    plain.write(raw[i]);
                }
            }
            return new String(plain.toByteArray(), StandardCharsets.UTF_8);
        }
    }

    /** For the tests: back to the initial state, nothing pending and hand-overs not ended. */
    static void reset() {
        synchronized (LOCK) {
            pending.clear();
            closed = false;
        }
    }

    /** For the tests: the lines of {@code bytes} as the reader takes them. */
    static void readLines(byte[] bytes, List<String> out) {
        LineReader reader = new LineReader(out);
        reader.take(ByteBuffer.wrap(bytes));
        reader.finish();
    }
}
