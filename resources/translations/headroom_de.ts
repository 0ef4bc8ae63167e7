<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Persönlichen Ordner wählen…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Festplatte</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Müll &amp;prüfen</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>Müll &amp;entfernen</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Arbeitsspeicher</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Speicher freigeben</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Fenster zeigen</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Fenster ausblenden</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Headroom beenden</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom braucht Ihren persönlichen Ordner</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Um Caches, Protokolle, Downloads und den Papierkorb zu messen und zu leeren, braucht Headroom Zugriff auf Ihren persönlichen Ordner. Wählen Sie ihn im nächsten Fenster aus und bestätigen Sie.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Persönlicher Ordner: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Kein persönlicher Ordner gewählt</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Frei</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Laufwerk des persönlichen Ordners: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Caches </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Protokolle </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Mail-Downloads </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papierkorb </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom kann Ihren persönlichen Ordner noch nicht erreichen</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Headroom fragt Sie als Nächstes nach Ihrem persönlichen Ordner. Wenn Sie ihn gewählt haben, versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% belegt</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Bereinigung fertig, auf der Festplatte frei geworden: </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Die entfernten Objekte belegten </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Dateien, die Programme noch geöffnet halten, oder harte Links an anderer Stelle belegen den Rest weiterhin.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Bereinigung fertig. Der freie Platz der Festplatte ließ sich nicht lesen.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Einige Zeilen ließen sich mangels offener Dateien oder Speicher nicht vollständig messen; sie zeigen keine Größe.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Mangels offener Dateien oder Speicher ließ sich nicht alles entfernen.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>nicht angetastet, ein Link auf </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>nicht angetastet, ein anderes eingehängtes Dateisystem</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>nicht vollständig entfernt, ein anderes eingehängtes Dateisystem darin bleibt</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>nicht entfernt, das Dateisystem ist schreibgeschützt</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>nicht vollständig entfernt, keine Berechtigung</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>nicht vollständig entfernt, in Benutzung</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>nicht vollständig entfernt</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>Der Cache hat Speicher zurückgegeben: </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Es ließ sich kein Speicher freigeben.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>Das Hilfsprogramm zur Speicherfreigabe ist fehlgeschlagen; es wurde kein Speicher freigegeben.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Speicher freigegeben; wie viel, ließ sich nicht messen.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Es wurde kein Speicher freigegeben: Das Hilfsprogramm zur Speicherfreigabe (headroom-purge) ist nicht installiert.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Es wurde kein Speicher freigegeben: pkexec ist nicht installiert, und ohne pkexec kann nicht nach dem Administratorpasswort gefragt werden.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Es wurde kein Speicher freigegeben: Der Passwortdialog wurde geschlossen.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Es wurde kein Speicher freigegeben: Das Administratorpasswort wurde nicht angenommen oder konnte nicht abgefragt werden.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Wird gemessen: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Wird gelöscht: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Einträge: %1 · Größe: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Gelöschte Einträge: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Speicher wird freigegeben…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>Das Hilfsprogramm zur Speicherfreigabe läuft; es fragt eventuell nach dem Administratorpasswort.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Inhalt anzeigen</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Eintrag</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>Belegt</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Anteil</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>Und %1 weitere</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Werden mit der Zeile entfernt</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Abwählen, um es beim Entfernen zu behalten</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Platz auf der Festplatte: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Gelöscht am %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Frei </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Fest belegt </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Aktiv </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inaktiv </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Zeigt, wie voll Ihre Festplatte ist und wie der Arbeitsspeicher aufgeteilt ist, entfernt Müll aus Ihrem persönlichen Ordner und gibt Speicher frei.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Lizenz: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Kein Infobereich (System-Tray) gefunden: unter GNOME die Erweiterung AppIndicator einschalten.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>kein Bildschirm, auf dem sich ein Fenster öffnen ließe. Die Zahlen im Terminal zeigt: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom arbeitet noch an Ihrem letzten Auftrag. Versuchen Sie es erneut, wenn er fertig ist.</translation>
    </message>
</context>
</TS>
