package testapps;

/** A main class that is not public; its main is. */
class HiddenApp {
    public static void main(String[] args) {
        RecordingApp.received = args;
    }
}
