import com.quenbrook.runtime.FirstRun;

/** A first-run hook that answers what the property test.firstRun says: true, false or throw. */
public class FirstRunAnswer implements FirstRun.Hook {
    @Override
    public boolean run() {
        String answer = System.getProperty("test.firstRun");
        System.out.println("first run asked");
        if ("throw".equals(answer)) {
            throw new IllegalStateException("first-run hook failed");
        }
        return Boolean.parseBoolean(answer);
    }
}
