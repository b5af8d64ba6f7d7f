# Registers or removes the package that puts Orrelin's download command in Windows 11's
# first context menu. The setup program starts it with -File, so every value below arrives
# as one literal argument, whatever the install folder's name holds (blanks, apostrophes,
# '$'); nothing here is ever evaluated as code. Each step says what it did or why it failed;
# the setup program copies that into its log, and a failure leaves the classic menu working.
#
#   -Action Add -Scope User    -Family F -Package P -Folder D   this user only
#   -Action Add -Scope Machine -Family F -Package P -Folder D   staged and provisioned for
#                                                               every user (administrators)
#   -Action Remove -Scope User|Machine -Family F
param(
    [Parameter(Mandatory = $true)][ValidateSet('Add', 'Remove')][string]$Action,
    [Parameter(Mandatory = $true)][ValidateSet('User', 'Machine')][string]$Scope,
    [Parameter(Mandatory = $true)][string]$Family,
    [string]$Package,
    [string]$Folder
)
$ErrorActionPreference = 'Stop'

# The deployment API answers with asynchronous operations; Windows PowerShell waits for
# them through the .NET bridge's AsTask.
function Wait-Deployment($Operation, [string]$What) {
    $task = $script:AsTask.Invoke($null, @($Operation))
    try { $task.Wait() } catch { throw "$What failed: $($_.Exception.InnerException.Message)" }
    $result = $task.Result
    if ($result.ExtendedErrorCode) { throw "$What failed: $($result.ErrorText) ($($result.ExtendedErrorCode.HResult))" }
    Write-Output "$What done"
}

function Get-DeploymentManager {
    $null = [Windows.Management.Deployment.PackageManager, Windows.Management.Deployment, ContentType = WindowsRuntime]
    Add-Type -AssemblyName System.Runtime.WindowsRuntime
    $generic = [System.WindowsRuntimeSystemExtensions].GetMethods() | Where-Object {
        $_.Name -eq 'AsTask' -and $_.GetParameters().Count -eq 1 -and
        $_.GetParameters()[0].ParameterType.Name -eq 'IAsyncOperationWithProgress`2'
    } | Select-Object -First 1
    $script:AsTask = $generic.MakeGenericMethod([Windows.Management.Deployment.DeploymentResult],
        [Windows.Management.Deployment.DeploymentProgress])
    [Windows.Management.Deployment.PackageManager]::new()
}

$failed = $false
function Step([string]$What, [scriptblock]$Body) {
    try { & $Body } catch { Write-Output "$What failed: $($_.Exception.Message)"; $script:failed = $true }
}

if ($Action -eq 'Add') {
    if (-not $Package -or -not $Folder) { Write-Output 'Add needs -Package and -Folder'; exit 2 }
    if ($Scope -eq 'User') {
        Step 'Registering the package for this user' {
            Add-AppxPackage -Path $Package -ExternalLocation $Folder
            Write-Output 'Registering the package for this user done'
        }
    } else {
        # Provisioned, never registered for the installing administrator alone: a package
        # that one user has and the machine does not makes sysprep fail.
        $manager = Get-DeploymentManager
        $options = [Windows.Management.Deployment.StagePackageOptions]::new()
        $options.ExternalLocationUri = [Uri]::new($Folder)
        Step 'Staging the package' { Wait-Deployment $manager.StagePackageByUriAsync([Uri]::new($Package), $options) 'Staging the package' }
        if (-not $failed) {
            Step 'Provisioning it for every user' { Wait-Deployment $manager.ProvisionPackageForAllUsersAsync($Family) 'Provisioning it for every user' }
        }
        if (-not $failed) {
            # Provisioned packages reach each user at sign-in; the one installing gets it now.
            Step 'Registering it for this user' {
                Wait-Deployment $manager.RegisterPackageByFamilyNameAsync($Family, $null,
                    [Windows.Management.Deployment.DeploymentOptions]::None, $null, $null) 'Registering it for this user'
            }
        }
    }
} else {
    if ($Scope -eq 'User') {
        Step 'Removing the package for this user' {
            Get-AppxPackage | Where-Object { $_.PackageFamilyName -eq $Family } | Remove-AppxPackage
            Write-Output 'Removing the package for this user done'
        }
    } else {
        $manager = Get-DeploymentManager
        Step 'Deprovisioning the package' { Wait-Deployment $manager.DeprovisionPackageForAllUsersAsync($Family) 'Deprovisioning the package' }
        foreach ($installed in @($manager.FindPackages() | Where-Object { $_.Id.FamilyName -eq $Family })) {
            $name = $installed.Id.FullName
            Step "Removing $name" {
                Wait-Deployment $manager.RemovePackageAsync($name, [Windows.Management.Deployment.RemovalOptions]::RemoveForAllUsers) "Removing $name"
            }
        }
    }
}
if ($failed) { exit 1 }
exit 0
