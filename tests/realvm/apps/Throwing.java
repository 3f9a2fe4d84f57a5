/** Its main throws. */
public class Throwing {
    public static void main(String[] args) {
        throw new IllegalStateException("thrown by main");
    }
}
