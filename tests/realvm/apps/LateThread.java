/** main returns at once; a non-daemon thread lives on for the given milliseconds. */
public class LateThread {
    public static void main(String[] args) {
        final long ms = Long.parseLong(args[0]);
        new Thread(new Runnable() {
            @Override
            public void run() {
                try {
                    Thread.sleep(ms);
                } catch (InterruptedException e) {
                    return;
                }
                System.out.println("app thread ends");
            }
        }, "late").start();
        System.out.println("main returns");
    }
}
