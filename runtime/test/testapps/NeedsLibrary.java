package testapps;

/** A main class whose public signature uses a library class; run without the library it cannot be linked. */
public class NeedsLibrary {
    public static void main(String[] args) {
    }

    public static void use(Library library) {
    }

    /** The library class left off the class path. */
    public static class Library {
    }
}
