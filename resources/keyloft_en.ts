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
</context>
</TS>
