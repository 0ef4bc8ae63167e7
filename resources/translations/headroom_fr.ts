<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Choisir le dossier personnel…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Disque</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Analyser le superflu</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Supprimer le superflu</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Mémoire</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Libérer la mémoire</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Afficher la fenêtre</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Masquer la fenêtre</translation>
    </message>
    <message>
        <source>About</source>
        <translation>À propos de Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom a besoin de votre dossier personnel</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Pour mesurer et vider les caches, les journaux, les téléchargements et la corbeille, Headroom doit accéder à votre dossier personnel. Dans la fenêtre suivante, choisissez votre dossier personnel et confirmez.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Dossier personnel&#xa0;: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Aucun dossier personnel choisi</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Libre</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Disque du dossier personnel&#xa0;: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Caches </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Journaux </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Téléchargements </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Téléchargements de la messagerie </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Corbeille </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom n’a pas encore accès à votre dossier personnel</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Headroom va maintenant vous demander votre dossier personnel. Une fois celui-ci choisi, réessayez.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% utilisés</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Nettoyage terminé&#xa0;: le disque a gagné </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Les éléments supprimés occupaient </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Des fichiers que des programmes gardent ouverts, ou des liens physiques vers eux ailleurs, occupent encore le reste.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Nettoyage terminé. L’espace libre du disque n’a pas pu être lu.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Certaines lignes n’ont pas pu être mesurées entièrement, faute de fichiers ouverts ou de mémoire ; elles n’affichent pas de taille.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Tout n’a pas pu être supprimé, faute de fichiers ouverts ou de mémoire.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>laissé en place, c’est un lien vers </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>laissé en place, c’est un autre système de fichiers monté</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>pas entièrement supprimé, un autre système de fichiers monté à l’intérieur est conservé</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>non supprimé, le système de fichiers est en lecture seule</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>pas entièrement supprimé, permission refusée</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>pas entièrement supprimé, en cours d’utilisation</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>pas entièrement supprimé</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>Le cache a rendu </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Aucune mémoire n’a pu être libérée.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>L’assistant de libération de la mémoire a échoué&#xa0;; aucune mémoire n’a été libérée.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Mémoire libérée&#xa0;; la quantité n’a pas pu être mesurée.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Aucune mémoire n’a été libérée&#xa0;: l’assistant de libération de la mémoire (headroom-purge) n’est pas installé.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Aucune mémoire n’a été libérée&#xa0;: pkexec n’est pas installé, et sans lui le mot de passe administrateur ne peut pas être demandé.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Aucune mémoire n’a été libérée&#xa0;: la fenêtre du mot de passe a été fermée.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Aucune mémoire n’a été libérée&#xa0;: le mot de passe administrateur a été refusé ou n’a pas pu être demandé.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Mesure&#xa0;: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Suppression&#xa0;: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Éléments&#xa0;: %1 · Taille&#xa0;: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Éléments supprimés&#xa0;: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Libération de la mémoire…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>L’assistant de libération de la mémoire est en cours d’exécution&#xa0;; il peut demander le mot de passe administrateur.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Afficher le contenu</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Élément</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>Sur disque</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Part</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>Et %1 autres</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Supprimés avec la ligne</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Décochez pour le garder lors du nettoyage</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Espace sur le disque&#xa0;: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Supprimé le %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Libre </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Verrouillée </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Active </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inactive </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Indique à quel point votre disque est plein et comment la mémoire est répartie, supprime les fichiers superflus de votre dossier personnel et libère de la mémoire.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licence&#xa0;: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Aucune zone de notification trouvée&#xa0;: sous GNOME, activez l’extension AppIndicator pour avoir une icône de notification.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>aucun écran sur lequel ouvrir une fenêtre. Pour voir les chiffres dans ce terminal, lancez&#xa0;: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom traite encore votre dernière demande. Réessayez quand elle sera terminée.</translation>
    </message>
</context>
</TS>
