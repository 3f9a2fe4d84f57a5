package testapps;

import com.zorvo.runtime.LaunchInfo;

/** Records its arguments and what LaunchInfo reports while its main runs. */
public class RecordingApp {
    public static volatile String[] received;
    public static volatile Object[] launchInfoSeen;

    public static void main(String[] args) {
        received = args;
        launchInfoSeen = new Object[] {LaunchInfo.isLaunched(), LaunchInfo.isWindowed(), LaunchInfo.getMainClassName(),
                LaunchInfo.getFile1(), LaunchInfo.getFile2(), LaunchInfo.getFifthFlag()};
    }
}
