package com.zorvo.stamp;

/** The name meant by a mistyped one: what "did you mean" offers. */
public final class NearestName {
    private NearestName() {}

    /** The known name nearest to `name` (at most a third of its letters edited), or "". */
    public static String of(String name, Iterable<String> known) {
        String best = "";
        int bestDistance = name.length() / 3 + 1;
        for (String candidate : known) {
            int d = editDistance(name, candidate);
            if (d < bestDistance) {
                best = candidate;
                bestDistance = d;
            }
        }
        return best;
    }

    private static int editDistance(String a, String b) {
        int[] row = new int[b.length() + 1];
        for (int j = 0; j <= b.length(); j++) row[j] = j;
        for (int i = 1; i <= a.length(); i++) {
            int diagonal = row[0];
            row[0] = i;
            for (int j = 1; j <= b.length(); j++) {
                int above = row[j];
                row[j] = Math.min(Math.min(row[j] + 1, row[j - 1] + 1), diagonal + (a.charAt(i - 1) == b.charAt(j - 1) ? 0 : 1));
                diagonal = above;
            }
        }
        return row[b.length()];
    }
}
