package testapps;

import com.zorvo.runtime.LaunchInfo;

/** Prints its arguments, one bracketed per line, then what LaunchInfo reports. */
public class PrintingApp {
    public static void main(String[] args) {
        for (String a : args) {
            System.out.println("[" + a + "]");
        }
        System.out.println("windowed=" + LaunchInfo.isWindowed() + " file1=" + LaunchInfo.getFile1()
                + " file2=" + LaunchInfo.getFile2() + " flag=" + LaunchInfo.getFifthFlag());
    }
}
