<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Backups</name>
    <message numerus="yes">
        <source>Moved %n backups to the Recycle Bin</source>
        <translation>
            <numerusform>Moved %n backup to the Recycle Bin</numerusform>
            <numerusform>Moved %n backups to the Recycle Bin</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Deleted %n backups</source>
        <translation>
            <numerusform>Deleted %n backup</numerusform>
            <numerusform>Deleted %n backups</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n backups are kept: an unfinished search for a problem setting needs them.</source>
        <translation>
            <numerusform>%n backup is kept: an unfinished search for a problem setting needs it.</numerusform>
            <numerusform>%n backups are kept: an unfinished search for a problem setting needs them.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HealthChecks</name>
    <message numerus="yes">
        <source>%n registered modules have no file on this computer</source>
        <translation>
            <numerusform>%n registered module has no file on this computer</numerusform>
            <numerusform>%n registered modules have no file on this computer</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n settings hold characters a settings file cannot hold</source>
        <translation>
            <numerusform>%n setting holds characters a settings file cannot hold</numerusform>
            <numerusform>%n settings hold characters a settings file cannot hold</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n modules have saved data but are not in the module list</source>
        <translation>
            <numerusform>%n module has saved data but is not in the module list</numerusform>
            <numerusform>%n modules have saved data but are not in the module list</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n values in all). Uninstalled, renamed or replaced modules leave their data behind.</source>
        <translation>
            <numerusform>%1 (%n value in all). Uninstalled, renamed or replaced modules leave their data behind.</numerusform>
            <numerusform>%1 (%n values in all). Uninstalled, renamed or replaced modules leave their data behind.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HostRunReport</name>
    <message numerus="yes">
        <source>PixInsight changed %n settings while it ran.</source>
        <translation>
            <numerusform>PixInsight changed %n setting while it ran.</numerusform>
            <numerusform>PixInsight changed %n settings while it ran.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LeftoverRemoval</name>
    <message numerus="yes">
        <source>Deleted %n files or folders from disk.</source>
        <translation>
            <numerusform>Deleted %n file or folder from disk.</numerusform>
            <numerusform>Deleted %n files or folders from disk.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ModuleFinder</name>
    <message numerus="yes">
        <source>Module search for &quot;%1&quot;: registry entry, module data, module settings and process entries - %2, %n values. Type words below to narrow them.</source>
        <translation>
            <numerusform>Module search for &quot;%1&quot;: registry entry, module data, module settings and process entries - %2, %n value. Type words below to narrow them.</numerusform>
            <numerusform>Module search for &quot;%1&quot;: registry entry, module data, module settings and process entries - %2, %n values. Type words below to narrow them.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>No module is called exactly &quot;%1&quot;; showing modules whose name contains it: %2 - %n values.</source>
        <translation>
            <numerusform>No module is called exactly &quot;%1&quot;; showing modules whose name contains it: %2 - %n value.</numerusform>
            <numerusform>No module is called exactly &quot;%1&quot;; showing modules whose name contains it: %2 - %n values.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>NodeMenu</name>
    <message numerus="yes">
        <source>Removed at the save; PixInsight writes its default for %n values the next time it starts.</source>
        <translation>
            <numerusform>Removed at the save; PixInsight writes its default for it the next time it starts.</numerusform>
            <numerusform>Removed at the save; PixInsight writes its default for %n values the next time it starts.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>OpenFlow</name>
    <message numerus="yes">
        <source>You have %n unsaved changes. %1</source>
        <translation>
            <numerusform>You have %n unsaved change. %1</numerusform>
            <numerusform>You have %n unsaved changes. %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>You have %n unsaved changes. Put them back on the file as it is on disk now, or discard them?</source>
        <translation>
            <numerusform>You have %n unsaved change. Put it back on the file as it is on disk now, or discard it?</numerusform>
            <numerusform>You have %n unsaved changes. Put them back on the file as it is on disk now, or discard them?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Reload and re-apply my %n changes</source>
        <translation>
            <numerusform>Reload and re-apply my %n change</numerusform>
            <numerusform>Reload and re-apply my %n changes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Reloaded; %n changes put back.</source>
        <translation>
            <numerusform>Reloaded; %n change put back.</numerusform>
            <numerusform>Reloaded; %n changes put back.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n changes could not be put back.</source>
        <translation>
            <numerusform>%n change could not be put back.</numerusform>
            <numerusform>%n changes could not be put back.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ProblemSearchCommand</name>
    <message numerus="yes">
        <source>%n differences will be tested</source>
        <translation>
            <numerusform>%n difference will be tested</numerusform>
            <numerusform>%n differences will be tested</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries exist only in the good state and are not tested.</source>
        <translation>
            <numerusform>%n entry exists only in the good state and is not tested.</numerusform>
            <numerusform>%n entries exist only in the good state and are not tested.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values are not tested (protected, locked, or holding characters a settings file cannot hold).</source>
        <translation>
            <numerusform>%n value is not tested (protected, locked, or holding characters a settings file cannot hold).</numerusform>
            <numerusform>%n values are not tested (protected, locked, or holding characters a settings file cannot hold).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Found after %n launches:</source>
        <translation>
            <numerusform>Found after %n launch:</numerusform>
            <numerusform>Found after %n launches:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>After %n launches these settings could not be told apart:</source>
        <translation>
            <numerusform>After %n launch these settings could not be told apart:</numerusform>
            <numerusform>After %n launches these settings could not be told apart:</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ProblemSearchRounds</name>
    <message numerus="yes">
        <source>about %n launches</source>
        <translation>
            <numerusform>about %n launch</numerusform>
            <numerusform>about %n launches</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ResetFlow</name>
    <message numerus="yes">
        <source>%n preferences are reset to PixInsight&apos;s defaults at the save.</source>
        <translation>
            <numerusform>%n preference is reset to PixInsight&apos;s default at the save.</numerusform>
            <numerusform>%n preferences are reset to PixInsight&apos;s defaults at the save.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>RestorePreview</name>
    <message numerus="yes">
        <source>changes %n settings</source>
        <translation>
            <numerusform>changes %n setting</numerusform>
            <numerusform>changes %n settings</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>removes %n values</source>
        <translation>
            <numerusform>removes %n value</numerusform>
            <numerusform>removes %n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>brings back %n values</source>
        <translation>
            <numerusform>brings back %n value</numerusform>
            <numerusform>brings back %n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>… and %n more</source>
        <translation>
            <numerusform>… and %n more</numerusform>
            <numerusform>… and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SaveFlow</name>
    <message numerus="yes">
        <source>You have %n unsaved changes.</source>
        <translation>
            <numerusform>You have %n unsaved change.</numerusform>
            <numerusform>You have %n unsaved changes.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ScreenshotRenderer</name>
    <message numerus="yes">
        <source>%n pictures could not be written to %1 (%2): %3.</source>
        <translation>
            <numerusform>%n picture could not be written to %1 (%2): %3.</numerusform>
            <numerusform>%n pictures could not be written to %1 (%2): %3.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Module search for &quot;%1&quot; (%n values)</source>
        <translation>
            <numerusform>Module search for &quot;%1&quot; (%n value)</numerusform>
            <numerusform>Module search for &quot;%1&quot; (%n values)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SettingsExport</name>
    <message numerus="yes">
        <source>%1 (%n values)</source>
        <translation>
            <numerusform>%1 (%n value)</numerusform>
            <numerusform>%1 (%n values)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusBanner</name>
    <message numerus="yes">
        <source>&lt;b&gt;The file changed on disk since it was loaded.&lt;/b&gt; Saving is blocked. Reload to put your %n unsaved changes back on it, or to discard them.</source>
        <translation>
            <numerusform>&lt;b&gt;The file changed on disk since it was loaded.&lt;/b&gt; Saving is blocked. Reload to put your %n unsaved change back on it, or to discard it.</numerusform>
            <numerusform>&lt;b&gt;The file changed on disk since it was loaded.&lt;/b&gt; Saving is blocked. Reload to put your %n unsaved changes back on it, or to discard them.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TransferCommands</name>
    <message numerus="yes">
        <source>Exported %n values to %1.</source>
        <translation>
            <numerusform>Exported %n value to %1.</numerusform>
            <numerusform>Exported %n values to %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>warning: %n paths do not exist on this computer:</source>
        <translation>
            <numerusform>warning: %n path does not exist on this computer:</numerusform>
            <numerusform>warning: %n paths do not exist on this computer:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n changes were imported</source>
        <translation>
            <numerusform>%n change was imported</numerusform>
            <numerusform>%n changes were imported</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n locked, protected or read-only values stay as they are.
</source>
        <translation>
            <numerusform>%n locked, protected or read-only value stays as it is.
</numerusform>
            <numerusform>%n locked, protected or read-only values stay as they are.
</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Add --yes to reset these %n values to PixInsight&apos;s defaults. Nothing was written.</source>
        <translation>
            <numerusform>Add --yes to reset this value to PixInsight&apos;s default. Nothing was written.</numerusform>
            <numerusform>Add --yes to reset these %n values to PixInsight&apos;s defaults. Nothing was written.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values were reset; PixInsight writes its defaults the next time it starts</source>
        <translation>
            <numerusform>%n value was reset; PixInsight writes its default the next time it starts</numerusform>
            <numerusform>%n values were reset; PixInsight writes its defaults the next time it starts</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::BackupsDialog</name>
    <message numerus="yes">
        <source>%n backups of %1, %2 in total (newest first):</source>
        <translation>
            <numerusform>%n backup of %1, %2 in total (newest first):</numerusform>
            <numerusform>%n backups of %1, %2 in total (newest first):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete the %n older backups (%1)</source>
        <translation>
            <numerusform>Delete the %n older backup (%1)</numerusform>
            <numerusform>Delete the %n older backups (%1)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n backups are not counted among those kept, and are left as they are: newer ones that are not whole settings files, and copies Prefwright did not name.</source>
        <translation>
            <numerusform>%n backup is not counted among those kept, and is left as it is: a newer one that is not a whole settings file, or a copy Prefwright did not name.</numerusform>
            <numerusform>%n backups are not counted among those kept, and are left as they are: newer ones that are not whole settings files, and copies Prefwright did not name.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete the %n selected backups</source>
        <translation>
            <numerusform>Delete the %n selected backup</numerusform>
            <numerusform>Delete the %n selected backups</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete the %n backups older than the newest %1</source>
        <translation>
            <numerusform>Delete the %n backup older than the newest %1</numerusform>
            <numerusform>Delete the %n backups older than the newest %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete all %n backups</source>
        <translation>
            <numerusform>Delete the %n backup</numerusform>
            <numerusform>Delete all %n backups</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::CleanupView</name>
    <message numerus="yes">
        <source>This removes the saved configuration of %n tools or scripts. They will start from their defaults.</source>
        <translation>
            <numerusform>This removes the saved configuration of %n tool or script. It will start from its defaults.</numerusform>
            <numerusform>This removes the saved configuration of %n tools or scripts. They will start from their defaults.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::CompareView</name>
    <message numerus="yes">
        <source>Copied %n values into this file. Review and save when ready.</source>
        <translation>
            <numerusform>Copied %n value into this file. Review and save when ready.</numerusform>
            <numerusform>Copied %n values into this file. Review and save when ready.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Copied %n values</source>
        <translation>
            <numerusform>Copied %n value</numerusform>
            <numerusform>Copied %n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Copy %n values from %1 into this file?

They become pending changes: you can review, revert and save them as usual.</source>
        <translation>
            <numerusform>Copy %n value from %1 into this file?

It becomes a pending change: you can review, revert and save it as usual.</numerusform>
            <numerusform>Copy %n values from %1 into this file?

They become pending changes: you can review, revert and save them as usual.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::DeletionFlow</name>
    <message numerus="yes">
        <source>Delete %1?
(%n values)</source>
        <translation>
            <numerusform>Delete %1?
(%n value)</numerusform>
            <numerusform>Delete %1?
(%n values)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 queued for deletion (%n values). Save to apply.</source>
        <translation>
            <numerusform>%1 queued for deletion (%n value). Save to apply.</numerusform>
            <numerusform>%1 queued for deletion (%n values). Save to apply.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::HealthView</name>
    <message numerus="yes">
        <source>%n problems</source>
        <translation>
            <numerusform>%n problem</numerusform>
            <numerusform>%n problems</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n warnings</source>
        <translation>
            <numerusform>%n warning</numerusform>
            <numerusform>%n warnings</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n notes</source>
        <translation>
            <numerusform>%n note</numerusform>
            <numerusform>%n notes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values</source>
        <translation>
            <numerusform>%n value</numerusform>
            <numerusform>%n values</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::InstalledUpdatesDialog</name>
    <message numerus="yes">
        <source>Remove %n records from PixInsight&apos;s list of installed updates?%1

A backup is made first. PixInsight must be closed.</source>
        <translation>
            <numerusform>Remove %n record from PixInsight&apos;s list of installed updates?%1

A backup is made first. PixInsight must be closed.</numerusform>
            <numerusform>Remove %n records from PixInsight&apos;s list of installed updates?%1

A backup is made first. PixInsight must be closed.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Remove %n ticked...</source>
        <translation>
            <numerusform>Remove %n ticked...</numerusform>
            <numerusform>Remove %n ticked...</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Removed %n records.</source>
        <translation>
            <numerusform>Removed %n record.</numerusform>
            <numerusform>Removed %n records.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::MainWindow</name>
    <message numerus="yes">
        <source>Discard all %n unsaved changes?</source>
        <translation>
            <numerusform>Discard all %n unsaved change?</numerusform>
            <numerusform>Discard all %n unsaved changes?</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::PreferencesView</name>
    <message numerus="yes">
        <source>%n values of %1 are reset to PixInsight&apos;s defaults at the save.</source>
        <translation>
            <numerusform>%n value of %1 is reset to PixInsight&apos;s default at the save.</numerusform>
            <numerusform>%n values of %1 are reset to PixInsight&apos;s defaults at the save.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::ProblemSearchDialog</name>
    <message numerus="yes">
        <source>%n differences can be tested, in %1.</source>
        <translation>
            <numerusform>%n difference can be tested, in %1.</numerusform>
            <numerusform>%n differences can be tested, in %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries exist only in the good state and are not tested</source>
        <translation>
            <numerusform>%n entry exists only in the good state and is not tested</numerusform>
            <numerusform>%n entries exist only in the good state and are not tested</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values are not tested (protected, locked, or holding characters a settings file cannot hold)</source>
        <translation>
            <numerusform>%n value is not tested (protected, locked, or holding characters a settings file cannot hold)</numerusform>
            <numerusform>%n values are not tested (protected, locked, or holding characters a settings file cannot hold)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The problem setting was found in %n launches:</source>
        <translation>
            <numerusform>The problem setting was found in %n launch:</numerusform>
            <numerusform>The problem setting was found in %n launches:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>After %n launches these %1 settings could not be told apart (every way of halving them was answered &quot;Can&apos;t tell&quot;):</source>
        <translation>
            <numerusform>After %n launch these %1 settings could not be told apart (every way of halving them was answered &quot;Can&apos;t tell&quot;):</numerusform>
            <numerusform>After %n launches these %1 settings could not be told apart (every way of halving them was answered &quot;Can&apos;t tell&quot;):</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::RebaseDialog</name>
    <message numerus="yes">
        <source>PixInsight also changed %n of the settings you changed. Keep your value (ticked) or take PixInsight&apos;s (unticked) for each:</source>
        <translation>
            <numerusform>PixInsight also changed %n setting you changed. Keep your value (ticked) or take PixInsight&apos;s (unticked):</numerusform>
            <numerusform>PixInsight also changed %n of the settings you changed. Keep your value (ticked) or take PixInsight&apos;s (unticked) for each:</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::ReviewDialog</name>
    <message numerus="yes">
        <source>%n new entries</source>
        <translation>
            <numerusform>%n new entry</numerusform>
            <numerusform>%n new entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>A new entry of %n values.</source>
        <translation>
            <numerusform>A new entry of %n value.</numerusform>
            <numerusform>A new entry of %n values.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n edits</source>
        <translation>
            <numerusform>%n edit</numerusform>
            <numerusform>%n edits</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n deletions</source>
        <translation>
            <numerusform>%n deletion</numerusform>
            <numerusform>%n deletions</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values removed</source>
        <translation>
            <numerusform>%n value removed</numerusform>
            <numerusform>%n values removed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values</source>
        <translation>
            <numerusform>%n value</numerusform>
            <numerusform>%n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The whole entry is removed (%n values). Expand the row to see them.</source>
        <translation>
            <numerusform>The whole entry is removed (%n value). Expand the row to see it.</numerusform>
            <numerusform>The whole entry is removed (%n values). Expand the row to see them.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Also deleted from disk, permanently, right after the settings are written (%n items):</source>
        <translation>
            <numerusform>Also deleted from disk, permanently, right after the settings are written (%n item):</numerusform>
            <numerusform>Also deleted from disk, permanently, right after the settings are written (%n items):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries</source>
        <translation>
            <numerusform>%n entry</numerusform>
            <numerusform>%n entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>...and %n more values</source>
        <translation>
            <numerusform>...and %n more value</numerusform>
            <numerusform>...and %n more values</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::SearchView</name>
    <message numerus="yes">
        <source>%n results</source>
        <translation>
            <numerusform>%n result</numerusform>
            <numerusform>%n results</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::SettingsModel</name>
    <message numerus="yes">
        <source>revert of %n new entries</source>
        <translation>
            <numerusform>revert of %n new entry</numerusform>
            <numerusform>revert of %n new entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>import of %n changes</source>
        <translation>
            <numerusform>import of %n change</numerusform>
            <numerusform>import of %n changes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>
Marked for deletion (%n values); removed when you save.</source>
        <translation>
            <numerusform>
Marked for deletion (%n value); removed when you save.</numerusform>
            <numerusform>
Marked for deletion (%n values); removed when you save.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n items</source>
        <translation>
            <numerusform>%n item</numerusform>
            <numerusform>%n items</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::UnusedModulesView</name>
    <message numerus="yes">
        <source>%1  (%n values)</source>
        <translation>
            <numerusform>%1  (%n value)</numerusform>
            <numerusform>%1  (%n values)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1  -  %n values, %2</source>
        <translation>
            <numerusform>%1  -  %n value, %2</numerusform>
            <numerusform>%1  -  %n values, %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1, %n files, %2</source>
        <translation>
            <numerusform>%1, %n file, %2</numerusform>
            <numerusform>%1, %n files, %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n unused modules</source>
        <translation>
            <numerusform>%n unused module</numerusform>
            <numerusform>%n unused modules</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n files or folders queued for deletion from disk</source>
        <translation>
            <numerusform>; %n file or folder queued for deletion from disk</numerusform>
            <numerusform>; %n files or folders queued for deletion from disk</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>This removes the saved data of %n modules that are not in the module list.</source>
        <translation>
            <numerusform>This removes the saved data of %n module that is not in the module list.</numerusform>
            <numerusform>This removes the saved data of %n modules that are not in the module list.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1   (%n files, %2)</source>
        <translation>
            <numerusform>%1   (%n file, %2)</numerusform>
            <numerusform>%1   (%n files, %2)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>This permanently deletes %n files or folders from disk when you save.</source>
        <translation>
            <numerusform>This permanently deletes %n file or folder from disk when you save.</numerusform>
            <numerusform>This permanently deletes %n files or folders from disk when you save.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Queued %n entries</source>
        <translation>
            <numerusform>Queued %n entry</numerusform>
            <numerusform>Queued %n entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source> of %n modules for deletion.</source>
        <translation>
            <numerusform> of %n module for deletion.</numerusform>
            <numerusform> of %n modules for deletion.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n protected entries were left alone (%1).</source>
        <translation>
            <numerusform>; %n protected entry was left alone (%1).</numerusform>
            <numerusform>; %n protected entries were left alone (%1).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Queued %n files or folders for deletion from disk.</source>
        <translation>
            <numerusform>Queued %n file or folder for deletion from disk.</numerusform>
            <numerusform>Queued %n files or folders for deletion from disk.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source> (%n protected values stay)</source>
        <translation>
            <numerusform> (%n protected value stays)</numerusform>
            <numerusform> (%n protected values stay)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>...and %n more values. Use &quot;Show in All settings&quot; from the right-click menu to see the rest.</source>
        <translation>
            <numerusform>...and %n more value. Use &quot;Show in All settings&quot; from the right-click menu to see the rest.</numerusform>
            <numerusform>...and %n more values. Use &quot;Show in All settings&quot; from the right-click menu to see the rest.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TransferFlow</name>
    <message numerus="yes">
        <source>Copied into %n other instances.</source>
        <translation>
            <numerusform>Copied into %n other instance.</numerusform>
            <numerusform>Copied into %n other instances.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries</source>
        <translation>
            <numerusform>%n entry</numerusform>
            <numerusform>%n entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n changes imported from %1; review them with Save.</source>
        <translation>
            <numerusform>%n change imported from %1; review it with Save.</numerusform>
            <numerusform>%n changes imported from %1; review them with Save.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::ExportDialog</name>
    <message numerus="yes">
        <source>Exported %n values to %1.</source>
        <translation>
            <numerusform>Exported %n value to %1.</numerusform>
            <numerusform>Exported %n values to %1.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::ImportDialog</name>
    <message numerus="yes">
        <source>%n values</source>
        <translation>
            <numerusform>%n value</numerusform>
            <numerusform>%n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n paths in the snippet do not exist on this computer: %1</source>
        <translation>
            <numerusform>%n path in the snippet does not exist on this computer: %1</numerusform>
            <numerusform>%n paths in the snippet do not exist on this computer: %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n changes</source>
        <translation>
            <numerusform>%n change</numerusform>
            <numerusform>%n changes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries</source>
        <translation>
            <numerusform>%n entry</numerusform>
            <numerusform>%n entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n refused</source>
        <translation>
            <numerusform>%n refused</numerusform>
            <numerusform>%n refused</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pfw::InstanceCopyDialog</name>
    <message numerus="yes">
        <source>%n changes</source>
        <translation>
            <numerusform>%n change</numerusform>
            <numerusform>%n changes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entries</source>
        <translation>
            <numerusform>%n entry</numerusform>
            <numerusform>%n entries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n refused</source>
        <translation>
            <numerusform>%n refused</numerusform>
            <numerusform>%n refused</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values of this file, copied into %1.</source>
        <translation>
            <numerusform>%n value of this file, copied into %1.</numerusform>
            <numerusform>%n values of this file, copied into %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n other instances</source>
        <translation>
            <numerusform>%n other instance</numerusform>
            <numerusform>%n other instances</numerusform>
        </translation>
    </message>
</context>
</TS>
