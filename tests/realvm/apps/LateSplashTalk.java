import com.zorvo.runtime.ZorvoController;

/** Like a Swing application: main returns at once, another thread sets a status text and closes the splash later. */
public class LateSplashTalk {
    public static void main(String[] args) {
        new Thread(new Runnable() {
            @Override
            public void run() {
                try {
                    Thread.sleep(200);
                    ZorvoController.setStatusText("Window up");
                    Thread.sleep(200);
                    ZorvoController.closeSplash();
                    Thread.sleep(200);
                } catch (InterruptedException e) {
                    return;
                }
                System.out.println("app thread ends");
            }
        }, "ui").start();
    }
}
