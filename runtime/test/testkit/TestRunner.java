package testkit;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.io.Writer;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.Locale;

/**
 * Runs the {@link Test} methods of the classes named on the command line, each on its own thread
 * with its time limit and on a fresh instance, and writes a JUnit-style XML report.
 *
 * <p>Usage: {@code TestRunner REPORT.xml CLASS...}. Exit code 0 when every test passed, 1 otherwise.
 */
public final class TestRunner {

    private static final class Result {
        final String className;
        final String name;
        final double seconds;
        final String kind; // null: passed; "failure": assertion; "error": anything else
        final Throwable thrown;

        Result(String className, String name, double seconds, String kind, Throwable thrown) {
            this.className = className;
            this.name = name;
            this.seconds = seconds;
            this.kind = kind;
            this.thrown = thrown;
        }
    }

    private TestRunner() {
    }

    /** Suites run so far, the last one possibly incomplete; guarded by itself. */
    private static final List<List<Result>> suites = new ArrayList<List<Result>>();
    private static volatile String currentClass;
    private static volatile String currentTest;
    private static volatile boolean reported;

    public static void main(String[] args) throws Exception {
        if (args.length < 2) {
            System.err.println("usage: TestRunner REPORT.xml CLASS...");
            System.exit(2);
        }
        final File report = new File(args[0]);
        // A test whose code calls System.exit ends the VM: the report then still says so.
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            if (!reported && !suites.isEmpty()) {
                synchronized (suites) {
                    suites.get(suites.size() - 1).add(new Result(currentClass, currentTest, 0, "error",
                            new IllegalStateException("the test ended the VM (System.exit)")));
                }
                finish(report);
            }
        }));
        for (String className : Arrays.asList(args).subList(1, args.length)) {
            runClass(className);
        }
        System.exit(finish(report) ? 0 : 1);
    }

    /** Writes the report and prints the failures and a summary; true when every test passed. */
    private static boolean finish(File report) {
        synchronized (suites) {
            reported = true;
            int failed = 0;
            int total = 0;
            for (List<Result> suite : suites) {
                for (Result r : suite) {
                    total++;
                    if (r.kind != null) {
                        failed++;
                        System.out.println(r.kind.toUpperCase(Locale.ROOT) + " " + r.className + "." + r.name + ": " + r.thrown);
                    }
                }
            }
            try {
                writeReport(report, suites);
            } catch (IOException e) {
                System.err.println("cannot write " + report + ": " + e);
                return false;
            }
            System.out.println("java tests: " + total + " run, " + (total - failed) + " passed, " + failed + " failed");
            return failed == 0 && total > 0;
        }
    }

    private static void runClass(String className) {
        List<Result> results = new ArrayList<Result>();
        synchronized (suites) {
            suites.add(results);
        }
        currentClass = className;
        currentTest = "(load)";
        Class<?> cls;
        try {
            cls = Class.forName(className);
        } catch (Throwable t) {
            add(results, new Result(className, "(load)", 0, "error", t));
            return;
        }
        List<Method> tests = new ArrayList<Method>();
        for (Method m : cls.getDeclaredMethods()) {
            if (m.isAnnotationPresent(Test.class)) {
                tests.add(m);
            }
        }
        tests.sort(Comparator.comparing(Method::getName));
        if (tests.isEmpty()) {
            add(results, new Result(className, "(tests)", 0, "error", new IllegalStateException("no @Test methods")));
        }
        for (Method m : tests) {
            currentTest = m.getName();
            add(results, runTest(cls, m));
        }
    }

    private static void add(List<Result> results, Result r) {
        synchronized (suites) {
            results.add(r);
        }
    }

    private static Result runTest(final Class<?> cls, final Method method) {
        final Throwable[] thrown = new Throwable[1];
        long start = System.nanoTime();
        Thread thread = new Thread(() -> {
            try {
                if (!Modifier.isPublic(method.getModifiers()) || Modifier.isStatic(method.getModifiers())
                        || method.getParameterCount() != 0) {
                    throw new IllegalStateException("a test must be a public instance method without parameters");
                }
                method.invoke(cls.getDeclaredConstructor().newInstance());
            } catch (InvocationTargetException e) {
                thrown[0] = e.getCause();
            } catch (Throwable t) {
                thrown[0] = t;
            }
        }, cls.getSimpleName() + "." + method.getName());
        thread.setDaemon(true);
        thread.start();
        long limit = method.getAnnotation(Test.class).timeoutMillis();
        try {
            thread.join(limit);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        double seconds = (System.nanoTime() - start) / 1e9;
        Throwable t;
        if (thread.isAlive()) {
            t = new IllegalStateException("timed out after " + limit + " ms");
            t.setStackTrace(thread.getStackTrace());
            thread.interrupt(); // give the test a chance to clean up before the next one runs
            try {
                thread.join(1000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        } else {
            t = thrown[0];
        }
        String kind = t == null ? null : (t instanceof AssertionError ? "failure" : "error");
        return new Result(cls.getName(), method.getName(), seconds, kind, t);
    }

    private static void writeReport(File file, List<List<Result>> suites) throws IOException {
        File dir = file.getAbsoluteFile().getParentFile();
        if (dir != null && !dir.isDirectory() && !dir.mkdirs()) {
            throw new IOException("cannot create " + dir);
        }
        StringBuilder xml = new StringBuilder("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n");
        for (List<Result> suite : suites) {
            if (suite.isEmpty()) {
                continue;
            }
            int failures = 0;
            int errors = 0;
            double seconds = 0;
            for (Result r : suite) {
                failures += "failure".equals(r.kind) ? 1 : 0;
                errors += "error".equals(r.kind) ? 1 : 0;
                seconds += r.seconds;
            }
            xml.append("  <testsuite name=\"").append(escape(suite.get(0).className))
                    .append("\" tests=\"").append(suite.size())
                    .append("\" failures=\"").append(failures)
                    .append("\" errors=\"").append(errors)
                    .append("\" skipped=\"0\" time=\"").append(format(seconds)).append("\">\n");
            for (Result r : suite) {
                xml.append("    <testcase classname=\"").append(escape(r.className))
                        .append("\" name=\"").append(escape(r.name))
                        .append("\" time=\"").append(format(r.seconds)).append('"');
                if (r.kind == null) {
                    xml.append("/>\n");
                    continue;
                }
                StringWriter trace = new StringWriter();
                r.thrown.printStackTrace(new PrintWriter(trace));
                xml.append(">\n      <").append(r.kind)
                        .append(" type=\"").append(escape(r.thrown.getClass().getName()))
                        .append("\" message=\"").append(escape(String.valueOf(r.thrown.getMessage())))
                        .append("\">").append(escape(trace.toString()))
                        .append("</").append(r.kind).append(">\n    </testcase>\n");
            }
            xml.append("  </testsuite>\n");
        }
        xml.append("</testsuites>\n");
        try (Writer out = new OutputStreamWriter(new FileOutputStream(file), StandardCharsets.UTF_8)) {
            out.write(xml.toString());
        }
    }

    private static String format(double seconds) {
        return String.format(Locale.ROOT, "%.3f", seconds);
    }

    /** Escapes for attribute values and text; characters XML 1.0 cannot hold become U+FFFD. */
    static String escape(String s) {
        StringBuilder out = new StringBuilder(s.length());
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            switch (c) {
                case '&': out.append("&amp;"); break;
                case '<': out.append("&lt;"); break;
                case '>': out.append("&gt;"); break;
                case '"': out.append("&quot;"); break;
                default:
                    boolean allowed = c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
                    out.append(allowed ? c : '\uFFFD');
            }
        }
        return out.toString();
    }
}
