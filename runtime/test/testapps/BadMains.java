package testapps;

/** Main classes whose main method cannot be used. */
public final class BadMains {
    private BadMains() {
    }

    public static class NoMain {
        public static void run(String[] args) {
        }
    }

    public static class InstanceMain {
        public void main(String[] args) {
        }
    }

    public static class PrivateMain {
        private static void main(String[] args) {
        }
    }

    public static class IntMain {
        public static int main(String[] args) {
            return 0;
        }
    }

    public static class StringMain {
        public static void main(String arg) {
        }
    }
}
