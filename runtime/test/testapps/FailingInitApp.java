package testapps;

/** Its static initialiser fails. */
public class FailingInitApp {
    static {
        fail();
    }

    private static void fail() {
        throw new IllegalStateException("initialiser failed");
    }

    public static void main(String[] args) {
    }
}
