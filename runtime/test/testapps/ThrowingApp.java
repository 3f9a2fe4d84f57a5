package testapps;

/** Its main throws the checked exception it was given. */
public class ThrowingApp {
    public static volatile Throwable toThrow;

    public static void main(String[] args) throws Throwable {
        throw toThrow;
    }
}
