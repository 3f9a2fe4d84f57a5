/** main sleeps for the given milliseconds, then returns. */
public class Sleeper {
    public static void main(String[] args) throws InterruptedException {
        Thread.sleep(Long.parseLong(args[0]));
        System.out.println("main returns");
    }
}
