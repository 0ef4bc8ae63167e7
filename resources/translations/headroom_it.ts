<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Scegli la cartella home…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Disco</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Analizza file inutili</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Elimina file inutili</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Memoria</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Libera memoria</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Mostra finestra</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Nascondi finestra</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Informazioni su Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Esci da Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom ha bisogno della tua cartella home</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Per misurare e svuotare cache, log, file scaricati e cestino, Headroom deve accedere alla tua cartella home. Nella finestra successiva, scegli la tua cartella home e conferma.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Cartella home: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Nessuna cartella home scelta</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Totale</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Libero</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Disco della cartella home: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Cache </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Log </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Scaricati </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Scaricati della posta </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Cestino </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom non può ancora accedere alla tua cartella home</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Ora Headroom ti chiederà la tua cartella home. Dopo averla scelta, riprova.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% in uso</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Pulizia completata: il disco ha recuperato </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Gli elementi rimossi occupavano </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>I file che i programmi tengono ancora aperti, o i collegamenti fisici a essi altrove, occupano ancora il resto.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Pulizia completata. Impossibile leggere lo spazio libero del disco.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Alcune righe non sono state misurate per intero per mancanza di file aperti o di memoria; non mostrano una dimensione.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Non è stato possibile rimuovere tutto per mancanza di file aperti o di memoria.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>lasciato com’è, è un collegamento a </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>lasciato com’è, è un altro file system montato</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>non rimosso del tutto, un altro file system montato al suo interno resta</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>non rimosso, il file system è di sola lettura</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>non rimosso del tutto, permesso negato</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>non rimosso del tutto, in uso</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>non rimosso del tutto</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>La cache ha restituito </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Non è stato possibile liberare memoria.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>L’assistente per liberare la memoria non è riuscito; non è stata liberata alcuna memoria.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Memoria liberata; impossibile misurare quanta.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Nessuna memoria liberata: l’assistente per liberare la memoria (headroom-purge) non è installato.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Nessuna memoria liberata: pkexec non è installato e senza di esso non è possibile chiedere la password di amministratore.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Nessuna memoria liberata: la finestra della password è stata chiusa.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Nessuna memoria liberata: la password di amministratore non è stata accettata o non è stato possibile chiederla.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Misurazione in corso: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Eliminazione in corso: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Elementi: %1 · Dimensione: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Elementi eliminati: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Liberazione della memoria…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>L’assistente per liberare la memoria è in esecuzione; potrebbe chiedere la password di amministratore.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Mostra il contenuto</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Elemento</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Dimensione</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>Su disco</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Quota</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>E altri %1</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Eliminati con la riga</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Deseleziona per conservarlo durante la pulizia</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Spazio su disco: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Eliminato il %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Libera </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Bloccata </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Attiva </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inattiva </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Mostra quanto è pieno il disco e come è suddivisa la memoria, elimina i file inutili dalla tua cartella home e libera memoria.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licenza: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Nessuna area di notifica trovata: su GNOME, attiva l&apos;estensione AppIndicator per avere un&apos;icona di notifica.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>nessuno schermo su cui aprire una finestra. Per vedere i valori in questo terminale, esegui: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom sta ancora lavorando alla tua ultima richiesta. Riprova quando avrà finito.</translation>
    </message>
</context>
</TS>
