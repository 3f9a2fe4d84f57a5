import com.zorvo.runtime.ZorvoController;

/** Talks to the splash: two status texts, then closes it (each step waits for a few polls). */
public class StatusTexts {
    public static void main(String[] args) throws InterruptedException {
        ZorvoController.setStatusText("Loading \u00e9t\u00e9");
        Thread.sleep(300);
        ZorvoController.setStatusText("Ready");
        Thread.sleep(300);
        ZorvoController.closeSplash();
        Thread.sleep(300);
    }
}
