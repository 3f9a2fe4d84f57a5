package com.zorvo.stamp;

import java.util.List;

/** The manifest's execution level and DPI setting, edited in place in the launcher's one manifest. */
final class Manifest {
    private static final String LEVEL_ATTRIBUTE = "requestedExecutionLevel level=\"";
    private static final String SETTINGS_START =
            "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <windowsSettings>\n";
    private static final String SETTINGS_END = "    </windowsSettings>\n  </application>\n";
    private static final String DPI_AWARE = "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">";
    private static final String DPI_AWARENESS =
            "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">";

    private Manifest() {}

    /** Sets `level` and `dpi` ("" keeps either) in the one manifest of the resources. */
    static void apply(List<PeResources.Entry> entries, String level, String dpi) throws StampException {
        List<PeResources.Entry> manifests = PeResources.findAll(entries, PeResources.Id.number(PeResources.MANIFEST));
        if (manifests.size() != 1) throw new StampException("the generic launcher has no single manifest to change");
        PeResources.Entry manifest = manifests.get(0);
        manifest.data = Bytes.of(edit(Bytes.text(manifest.data), level, dpi));
    }

    /** The manifest (a byte string) with the level and the DPI setting written. */
    static String edit(String manifest, String level, String dpi) throws StampException {
        String out = manifest;
        if (!level.isEmpty()) {
            int at = out.indexOf(LEVEL_ATTRIBUTE);
            int end = at < 0 ? -1 : out.indexOf('"', at + LEVEL_ATTRIBUTE.length());
            if (end < 0) throw new StampException("the launcher's manifest has no requestedExecutionLevel");
            at += LEVEL_ATTRIBUTE.length();
            out = out.substring(0, at) + level + out.substring(end);
        }
        if (!dpi.isEmpty()) {
            if (!dpiSetting(out).equals("unaware")) throw new StampException("the launcher's manifest has a DPI setting already");
            int close = out.lastIndexOf("</assembly>");
            if (close < 0) throw new StampException("the launcher's manifest has no </assembly>");
            out = out.substring(0, close) + dpiElement(dpi) + out.substring(close);
        }
        return out;
    }

    /** The DPI setting a manifest holds: "unaware" when it writes none. */
    private static String dpiSetting(String manifest) {
        String dpi = "unaware";
        for (String candidate : new String[] {"system", "per-monitor"}) {
            if (manifest.contains(dpiElement(candidate))) dpi = candidate;
        }
        return dpi;
    }

    /** The whole <application ...windowsSettings...> element written for a setting; "" for unaware. */
    private static String dpiElement(String dpi) {
        if (dpi.equals("system")) {
            return SETTINGS_START + "      " + DPI_AWARE + "true</dpiAware>\n" + SETTINGS_END;
        }
        if (dpi.equals("per-monitor")) {
            return SETTINGS_START + "      " + DPI_AWARE + "true/pm</dpiAware>\n      " + DPI_AWARENESS
                    + "PerMonitorV2, PerMonitor</dpiAwareness>\n" + SETTINGS_END;
        }
        return "";
    }
}
