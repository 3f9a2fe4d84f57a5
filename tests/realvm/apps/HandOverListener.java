import com.zorvo.runtime.LaunchInfo;

import java.util.Arrays;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Sets a hand-over listener that prints each hand-over with the thread it came on, and returns
 * once it has received as many as its argument says (or after 30 s).
 */
public class HandOverListener {
    public static void main(String[] args) throws InterruptedException {
        CountDownLatch expected = new CountDownLatch(Integer.parseInt(args[0]));
        LaunchInfo.setHandOverListener(arguments -> {
            Thread thread = Thread.currentThread();
            System.out.println("hand-over " + Arrays.toString(arguments) + " on " + thread.getName()
                               + (thread.isDaemon() ? " (daemon)" : ""));
            expected.countDown();
        });
        System.out.println(expected.await(30, TimeUnit.SECONDS) ? "received all" : "missing " + expected.getCount());
    }
}
