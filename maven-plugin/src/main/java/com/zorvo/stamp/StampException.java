package com.zorvo.stamp;

/**
 * Why a launcher cannot be stamped: one line that names the place (the
 * configuration file and line, the POM parameter, the file that cannot be
 * used) and what is wrong there, as the build tool prints it.
 */
public class StampException extends Exception {
    private static final long serialVersionUID = 1L;

    public StampException(String message) {
        super(message);
    }

    /** The same problem, its message behind `place` ("app.conf:12: ..."). */
    StampException at(String place) {
        return new StampException(place + ": " + getMessage());
    }
}
