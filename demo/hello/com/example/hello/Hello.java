package com.example.hello;

import com.zorvo.runtime.LaunchInfo;
import java.awt.GraphicsEnvironment;
import javax.swing.JOptionPane;
import javax.swing.SwingUtilities;

/**
 * The release archive's sample application: it shows which Java runtime its
 * launcher chose, and which executable started it.
 */
public final class Hello {
    private Hello() {}

    public static void main(String[] args) throws Exception {
        String started = LaunchInfo.isLaunched() ? "Started by " + LaunchInfo.getModuleName() : "Started without a launcher";
        String text = "Hello from Java " + System.getProperty("java.version") + " ("
                + System.getProperty("java.vendor") + ", " + System.getProperty("os.arch") + ")\n"
                + "in " + System.getProperty("java.home") + "\n"
                + started + "\n"
                + "Arguments: " + (args.length == 0 ? "none" : String.join(" | ", args));
        System.out.println(text);
        if (GraphicsEnvironment.isHeadless()) return;
        SwingUtilities.invokeAndWait(() -> JOptionPane.showMessageDialog(null, text, "Hello",
                JOptionPane.INFORMATION_MESSAGE));
    }
}
