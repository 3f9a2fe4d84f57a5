/** Prints each argument as its UTF-16 units in hex, one line each: "arg 0041,00E9". */
public class EchoArgs {
    public static void main(String[] args) {
        System.out.println("count " + args.length);
        for (String arg : args) {
            StringBuilder line = new StringBuilder("arg ");
            for (int i = 0; i < arg.length(); i++) {
                line.append(i == 0 ? "" : ",").append(String.format("%04X", (int) arg.charAt(i)));
            }
            System.out.println(line);
        }
    }
}
