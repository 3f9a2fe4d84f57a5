package com.example.mavenhello;

import java.awt.GraphicsEnvironment;
import javax.swing.JOptionPane;

/** A desktop application built with Maven, started by the launcher the plugin made in mvn package. */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        String text = System.getProperty("hello.greeting", "Hello") + " from Java " + System.getProperty("java.version")
                + "\nArguments: " + (args.length == 0 ? "none" : String.join(" | ", args));
        System.out.println(text);
        if (!GraphicsEnvironment.isHeadless()) {
            JOptionPane.showMessageDialog(null, text, "Maven Hello", JOptionPane.INFORMATION_MESSAGE);
        }
    }
}
