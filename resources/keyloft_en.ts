<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="ValidKeychainNotFound">
        <source>ValidKeychainNotFound</source>
        <translation>Keyloft needs a keychain to keep your passwords in, and none was chosen. Keyloft will quit now; start it again to choose a keychain file or to create a new one.</translation>
    </message>
    <message id="FileUserSelectedIsNotAValidKeychainFile">
        <source>FileUserSelectedIsNotAValidKeychainFile</source>
        <translation>The file you chose is not a keychain. Choose a keychain file (its name ends in “.keychain”), or type the name of a new file to create a keychain there.</translation>
    </message>
    <message id="CouldNotOpenUserSelectedKeyChain">
        <source>CouldNotOpenUserSelectedKeyChain</source>
        <translation>The keychain you chose could not be opened. Check that the file still exists and that you may read and write it, then start Keyloft again.</translation>
    </message>
    <message id="KLOFT_errSecAuthFailed">
        <source>KLOFT_errSecAuthFailed</source>
        <translation>The keychain did not allow access: its password was wrong or not given. Nothing was changed.</translation>
    </message>
    <message id="LabelAlreadyExists">
        <source>LabelAlreadyExists</source>
        <translation>Another entry already has this name. Please choose a different name.</translation>
    </message>
    <message id="CouldNotSaveToKeyChain">
        <source>CouldNotSaveToKeyChain</source>
        <translation>Your change could not be saved to the keychain. The entry keeps its previous value.</translation>
    </message>
    <message id="ChangedOnAnotherMachine">
        <source>ChangedOnAnotherMachine</source>
        <translation>Changed on another machine on %1: %2</translation>
    </message>
    <message id="MergedPassword">
        <source>MergedPassword</source>
        <translation>password “%1”</translation>
    </message>
    <message id="MergedNotes">
        <source>MergedNotes</source>
        <translation>notes “%1”</translation>
    </message>
    <message id="MergeOneAdded">
        <source>MergeOneAdded</source>
        <translation>1 entry added</translation>
    </message>
    <message id="MergeManyAdded">
        <source>MergeManyAdded</source>
        <translation>%1 entries added</translation>
    </message>
    <message id="MergeLaterAdded">
        <source>MergeLaterAdded</source>
        <translation>%1 added</translation>
    </message>
    <message id="MergeOneChanged">
        <source>MergeOneChanged</source>
        <translation>1 entry changed</translation>
    </message>
    <message id="MergeManyChanged">
        <source>MergeManyChanged</source>
        <translation>%1 entries changed</translation>
    </message>
    <message id="MergeLaterChanged">
        <source>MergeLaterChanged</source>
        <translation>%1 changed</translation>
    </message>
    <message id="MergeOneDeleted">
        <source>MergeOneDeleted</source>
        <translation>1 entry deleted</translation>
    </message>
    <message id="MergeManyDeleted">
        <source>MergeManyDeleted</source>
        <translation>%1 entries deleted</translation>
    </message>
    <message id="MergeLaterDeleted">
        <source>MergeLaterDeleted</source>
        <translation>%1 deleted</translation>
    </message>
    <message id="MergeListEnd">
        <source>MergeListEnd</source>
        <translation>%1 and %2</translation>
    </message>
    <message id="MergedFromOneCopy">
        <source>MergedFromOneCopy</source>
        <translation>%1 from a copy made by the sync program</translation>
    </message>
    <message id="MergedFromCopies">
        <source>MergedFromCopies</source>
        <translation>%1 from %2 copies made by the sync program</translation>
    </message>
    <message id="UnreadableConflictCopy">
        <source>UnreadableConflictCopy</source>
        <translation>The copy made by the sync program %1 does not open with this keychain's password; it was left as it is.</translation>
    </message>
    <message id="KLOFT_FindMenuItem">
        <source>KLOFT_FindMenuItem</source>
        <translation>Find…</translation>
    </message>
    <message id="KLOFT_FindPlaceholder">
        <source>KLOFT_FindPlaceholder</source>
        <translation>Type a name or a user name</translation>
    </message>
    <message id="KLOFT_LockKeychainMenuItem">
        <source>KLOFT_LockKeychainMenuItem</source>
        <translation>Lock Keychain</translation>
    </message>
    <message id="KLOFT_UnlockKeychainMenuItem">
        <source>KLOFT_UnlockKeychainMenuItem</source>
        <translation>Unlock Keychain…</translation>
    </message>
    <message id="KLOFT_PrefsLockTitle">
        <source>KLOFT_PrefsLockTitle</source>
        <translation>Locking</translation>
    </message>
    <message id="KLOFT_PrefsLockAfterIdle">
        <source>KLOFT_PrefsLockAfterIdle</source>
        <translation>Lock the keychain file after</translation>
    </message>
    <message id="KLOFT_PrefsLockNever">
        <source>KLOFT_PrefsLockNever</source>
        <translation>never</translation>
    </message>
    <message id="KLOFT_PrefsLockMinutesSuffix">
        <source>KLOFT_PrefsLockMinutesSuffix</source>
        <translation> min without use</translation>
    </message>
    <message id="KLOFT_PrefsLockAfterIdleTip">
        <source>KLOFT_PrefsLockAfterIdleTip</source>
        <translation>A keychain file locks after this time without use of Keyloft, and whenever the screen locks; its password is asked again to unlock it. The desktop's keyring locks on its own.</translation>
    </message>
</context>
</TS>
